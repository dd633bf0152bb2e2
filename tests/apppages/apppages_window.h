// The main window of the suites, opened at the screen's corner after the
// settings are read. With dialogs, the e-mail and address book windows are
// made first and the window becomes Form1, as for a whole run.
#pragma once

#include "mainform.h"

TForm1* StartMainWindow(bool withDialogs);
