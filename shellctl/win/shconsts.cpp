#include "shconsts.h"

#include <windows.h>

namespace {

// The texts in number order from kShellStringFirst.
const char* const kTexts[] = {
    "%s already exists.\rDo you want to replace it?",  // 52480
    "Save &in:",  // 52481
    "&Save",  // 52482
    "Save As",  // 52483
    "Open",  // 52484
    "Save as &type:",  // 52485
    "Folder",  // 52486
    "Desktop",  // 52487
    "All Files (*.*)",  // 52488
    "%s\rFile not found.\rPlease verify the correct file name was given.",  // 52489
    "%s\rPath does not exist.\rPlease verify the correct path was given.",  // 52490
    "%s\rThe above file name is invalid.",  // 52491
    "%s\rThis filename is not valid.",  // 52492
    "%s\rCannot find this file.",  // 52493
    "%s\rThis file exists with Read Only attributes.\rPlease use a different file name.",  // 52494
    "%s\rWrite access to this location is denied.",  // 52495
    "%s\rThe disk is full.",  // 52496
    "%s\rThe drive is not ready.",  // 52497
    "%s\rThis file does not exist.\r\rCreate the file?",  // 52498
    "More than one file has the name '%s'.\r\rChoose one from the list of files.",  // 52499
    "Up One Level",  // 52500
    "Create New Folder",  // 52501
    "Back",  // 52502
    "Look &in:",  // 52503
    "File &name:",  // 52504
    "Files of &type:",  // 52505
    "&Open",  // 52506
    "Cancel",  // 52507
    "&Help",  // 52508
    "Open as &read-only",  // 52509
    "Select",  // 52510
    "Lar&ge Icons",  // 52511
    "S&mall Icons",  // 52512
    "&List",  // 52513
    "&Details",  // 52514
    "Arrange &Icons",  // 52515
    "Line &up Icons",  // 52516
    "&Paste",  // 52517
    "Paste &Shortcut",  // 52518
    "&Refresh",  // 52519
    "P&roperties",  // 52520
    "&View",  // 52521
    "by &Name",  // 52522
    "by &Type",  // 52523
    "by &Size",  // 52524
    "by &Date",  // 52525
    "&Auto Arrange",  // 52526
    "Ne&w",  // 52527
    "&Folder",  // 52528
    "&Shortcut",  // 52529
    "New",  // 52530
    "Creates a new, empty folder.",  // 52531
    "%s bytes",  // 52532
    "%sKB",  // 52533
    "%sMB",  // 52534
    "%sGB",  // 52535
    "%sTB",  // 52536
    "%1 (%2 bytes)",  // 52537
    "Shortcut to %s",  // 52538
    "New Shortcut",  // 52539
    "New Folder",  // 52540
    "New File",  // 52541
    "Creates a new shortcut.",  // 52542
    "Contains commands for creating new items.",  // 52543
    "Unable to create the shortcut '%2'\r\r%1",  // 52544
    "Unable to rename '%2'\r\r%1",  // 52545
    "Unable to create the file '%2'\r\r%1",  // 52546
    "Unable to create the folder '%2'\r\r%1",  // 52547
    "Error",  // 52548
    "Name",  // 52549
    "Size",  // 52550
    "Type",  // 52551
    "Modified",  // 52552
    "Attributes",  // 52553
    "RHSAC",  // 52554
    "Free Space",  // 52555
    "Total Size",  // 52556
    "Comments",  // 52557
    "File Folder",  // 52558
    "File",  // 52559
    "Drive",  // 52560
    "Shortcut",  // 52561
    "System Folder",  // 52562
    "%d object(s)",  // 52563
    "%d object(s) selected",  // 52564
    "%s (Disk free space: %s)",  // 52565
    "Displays items by using large icons.",  // 52566
    "Displays items by using small icons.",  // 52567
    "Displays items in a list.",  // 52568
    "Displays information about each item in the window.",  // 52569
    "Displays the properties of the selected items.",  // 52570
    "Refreshes the list.",  // 52571
    "Arranges the icons.",  // 52572
    "Inserts the items you have copied or cut into the selected location.",  // 52573
    "Creates shortcuts to the items you have copied.",  // 52574
    "Arranges the icons automatically.",  // 52575
    "Contains commands for customizing this window.",  // 52576
    "Large Icons",  // 52577
    "Small Icons",  // 52578
    "Displays items in a list.",  // 52579
    "Displays information about each item in the window.",  // 52580
    "Large Icons",  // 52581
    "Small Icons",  // 52582
    "List",  // 52583
    "Details",  // 52584
    "Browse for Folder",  // 52585
    "Show Tree (F12)",  // 52586
    "Ctrl+A",  // 52587
    "Del",  // 52588
    "Ctrl+C",  // 52589
    "Ctrl+X",  // 52590
    "Ctrl+V",  // 52591
    "F5",  // 52592
    "F2",  // 52593
    "MS Sans Serif",  // 52594
};

static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == kShellStringLast - kShellStringFirst + 1, "one text per number");

HMODULE OwnModule() {
  static HMODULE module = GetModuleHandleA(nullptr);
  return module;
}

}  // namespace

std::string LoadShellString(unsigned id) {
  char buffer[1024];
  int n = LoadStringA(OwnModule(), id, buffer, static_cast<int>(sizeof(buffer)));
  if (n > 0) return std::string(buffer, static_cast<size_t>(n));
  if (id < kShellStringFirst || id > kShellStringLast) return std::string();
  return kTexts[id - kShellStringFirst];
}
