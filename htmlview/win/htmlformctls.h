// The window controls of form control objects: the class library's edit,
// button, check box, radio button (in a panel of its own), list box, combo
// box and memo, children of the document's paint panel.
#pragma once

#include "htmlforms.h"

class TWinControl;

namespace htmlsubs {

// The window control behind a peer (the panel of a radio button), or null
// for a peer without a window; for tests and the viewer.
TWinControl* PeerWindow(TControlPeer* peer);
// The radio button inside its panel, else the peer's window.
TWinControl* PeerButton(TControlPeer* peer);

}  // namespace htmlsubs
