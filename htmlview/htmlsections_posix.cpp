// Natively there is no timer, palette or animation: the document only keeps
// its lists.
#include "htmlsections.h"

namespace htmlsubs {

void TSectionList::MakeTimer(TComponent*) {}
void TSectionList::FreeTimer() {}
void TSectionList::EnableTimer(bool) {}
void TSectionList::RewindAnimations() {}
void TSectionList::AnimationStep() {}
void* TSectionList::SelectDocPalette(TCanvas&) { return nullptr; }
void TSectionList::RestorePalette(TCanvas&, void*) {}
bool TSectionList::PanelRect(ThtRect&) { return false; }

}  // namespace htmlsubs
