// Without windows a control keeps its state in a record, and nothing is
// drawn or posted.
#include "htmlforms.h"

namespace htmlsubs {

TControlPeer* CreateControlPeer(TPeerKind, TFormControlObj*) { return CreateDataPeer(); }

void PostKeyToViewer(TSectionList*, int) {}

void TEditFormControlObj::Draw(TCanvas&, int, int) {}

}  // namespace htmlsubs
