// Without a screen a table only takes its place in the flow.
#include "htmltables.h"

namespace htmlsubs {

int ThtmlTable::Render(TCanvas&, const ThtRect&, IndentManager&, int, int y) { return y + FlowHeight; }

}  // namespace htmlsubs
