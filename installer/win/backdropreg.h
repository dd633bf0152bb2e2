// Makes the backdrop and the rotated label known to the setup program's
// form loader. Kept apart from the controls so that the patch creator can
// link them without the loader.
#pragma once

void RegisterBackdropControls();
