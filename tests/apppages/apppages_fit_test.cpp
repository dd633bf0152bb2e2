// Every window of the patch creator, each page and tab shown in turn: every
// caption, check box, radio button, group box, label and closed list must
// show its whole text in its own font, inside its own box and inside its
// parent.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addrbook.h"
#include "apppages_window.h"
#include "emailform.h"
#include "gui_test_support.h"
#include "helpform.h"
#include "mainform.h"
#include "options.h"
#include "progressform.h"
#include "settings.h"
#include "splash.h"
#include "test_support.h"
#include "user_registry.h"
#include "win/forms.h"

using namespace testsupport;

namespace {

// The text's size as drawn with the font (accelerator marks count as
// nothing), wrapped at width when width is above 0.
SIZE DrawnSize(HFONT font, const std::string& text, int width) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  RECT r{0, 0, width > 0 ? width : 0, 0};
  DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | (width > 0 ? DT_WORDBREAK : 0));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

struct Walk {
  std::string view;
  std::vector<std::string> misfits;

  // box: the room the text has inside the control, in its parent's
  // coordinates; what the parent's client area cuts off is lost too.
  void Check(const std::string& name, HWND parent, RECT box, HFONT font, const std::string& text, bool wraps) {
    if (text.empty()) return;
    RECT client{};
    if (parent) GetClientRect(parent, &client);
    // What a scrolling parent hides is reached by scrolling: its range
    // counts, measured from the unscrolled origin.
    for (int bar : {SB_HORZ, SB_VERT}) {
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_RANGE | SIF_POS;
      if (!parent || !GetScrollInfo(parent, bar, &si) || si.nMax <= 0) continue;
      LONG& end = bar == SB_HORZ ? client.right : client.bottom;
      end = std::max<LONG>(end, si.nMax + 1 - si.nPos);
    }
    if (parent && box.right > client.right) box.right = client.right;
    if (parent && box.bottom > client.bottom) box.bottom = client.bottom;
    const int width = box.right - box.left, height = box.bottom - box.top;
    const SIZE need = DrawnSize(font, text, wraps ? width : 0);
    if (need.cx > width || need.cy > height)
      misfits.push_back(view + ": " + name + " \"" + text + "\" needs " + std::to_string(need.cx) + "x" +
                        std::to_string(need.cy) + ", has " + std::to_string(width) + "x" + std::to_string(height));
  }

  void Windowed(HWND w) {
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    const LONG style = GetWindowLongA(w, GWL_STYLE);
    TWinControl* control = TWinControl::FindControl(w);
    const std::string name = control && !control->Name().empty() ? control->Name() : std::string("(") + cls + ")";
    std::string text(static_cast<size_t>(GetWindowTextLengthA(w)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(w, &text[0], static_cast<int>(text.size()))));
    HWND parent = GetParent(w);
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0));
    if (lstrcmpiA(cls, "Button") == 0) {
      switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX:
          // The caption sits in the frame's top edge, between its corners.
          Check(name, parent, RECT{r.left + 8, r.top, r.right - 8, r.bottom}, font, text, false);
          break;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
          // The box itself and the gap after it.
          Check(name, parent, RECT{r.left + 17, r.top, r.right, r.bottom}, font, text, (style & BS_MULTILINE) != 0);
          break;
        default:
          Check(name, parent, RECT{r.left + 3, r.top, r.right - 3, r.bottom}, font, text, (style & BS_MULTILINE) != 0);
      }
    } else if (lstrcmpiA(cls, "ComboBox") == 0 && (style & 3) == CBS_DROPDOWNLIST &&
               !(style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE))) {
      // A closed list shows its choice in one line beside the arrow.
      // Any item may be the one shown.
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      if (GetComboBoxInfo(w, &info)) {
        MapWindowPoints(w, parent, reinterpret_cast<POINT*>(&info.rcItem), 2);
        const RECT item{info.rcItem.left + 2, info.rcItem.top, info.rcItem.right - 2, info.rcItem.bottom};
        const int count = static_cast<int>(SendMessageA(w, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
          std::string shown(static_cast<size_t>(SendMessageA(w, CB_GETLBTEXTLEN, i, 0)) + 1, '\0');
          shown.resize(static_cast<size_t>(SendMessageA(w, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&shown[0]))));
          Check(name, parent, item, font, shown, false);
        }
      }
    } else if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) {
      Check(name, parent, r, font, text, true);
    }
  }

  void Label(TCustomLabel* l) {
    TWinControl* parent = l->Parent();
    if (!l->Visible() || !parent || !parent->HandleAllocated() || !IsWindowVisible(parent->Handle())) return;
    Check(l->Name().empty() ? "(label)" : l->Name(), parent->Handle(), l->BoundsRect(), l->Font().Handle(),
          l->Caption(), l->WordWrap());
  }

  static void Labels(TComponent* owner, Walk& w) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      TComponent* c = owner->Components(i);
      if (auto* l = dynamic_cast<TCustomLabel*>(c)) w.Label(l);
      Labels(c, w);
    }
  }

  void Form(TForm* form, const std::string& name) {
    Pump(50);
    view = name;
    EnumChildWindows(
        form->Handle(),
        [](HWND w, LPARAM p) -> BOOL {
          if (IsWindowVisible(w)) reinterpret_cast<Walk*>(p)->Windowed(w);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(this));
    if (IsWindowVisible(form->Handle())) Windowed(form->Handle());
    Labels(form, *this);
  }
};

// Ticks the first activation box and then the one it added, so the row
// holds a ticked added box and an unticked last one; unticks at the end.
template <class F>
void WithAddedPairs(TCheckBox* first, F walk) {
  SendMessageA(first->Handle(), BM_CLICK, 0, 0);
  Pump(100);
  TWinControl* row = first->Parent();
  TCheckBox* added = nullptr;
  for (int i = 0; i < row->ControlCount(); ++i)
    if (auto* box = dynamic_cast<TCheckBox*>(row->Controls(i)); box && box != first && box->Tag() == 1) added = box;
  ASSERT_NE(added, nullptr);
  SendMessageA(added->Handle(), BM_CLICK, 0, 0);
  Pump(100);
  walk();
  // Each untick removes the pair after the box; the layout ticks it again
  // while pairs remain.
  for (int i = 0; i < 4 && first->Checked(); ++i) SendMessageA(first->Handle(), BM_CLICK, 0, 0);
  Pump(50);
  EXPECT_FALSE(first->Checked());
}

std::string Lines(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& line : v) s += line + "\n";
  return s;
}

}  // namespace

TEST(Fit, EveryTextOfEveryWindowShowsWhole) {
  DeleteUserKey("Software\\Dorn Aldwick Software\\Morvane\\1.9");
  TForm1* main = StartMainWindow(true);
  Walk walk;

  for (int page = 0; page < main->pagectrl_Main->PageCount(); ++page) {
    TTabSheet* sheet = main->pagectrl_Main->Pages(page);
    main->pagectrl_Main->SetActivePage(sheet);
    // As a click on the tab does: the page sets the window's height.
    main->pagectrl_Main->OnChange(main->pagectrl_Main);
    if (sheet == main->page_Options) {
      for (int tab = 0; tab < main->pagectrl_Options->PageCount(); ++tab) {
        TTabSheet* option = main->pagectrl_Options->Pages(tab);
        main->pagectrl_Options->SetActivePage(option);
        walk.Form(main, option->Name());
        Screenshot("fit_" + option->Name());
      }
    } else if (sheet == main->page_Wizard) {
      for (int step = 0; step < main->pagectrl_Wizard->PageCount(); ++step) {
        main->pagectrl_Wizard->SetActivePage(main->pagectrl_Wizard->Pages(step));
        walk.Form(main, main->pagectrl_Wizard->Pages(step)->Name());
      }
      main->pagectrl_Wizard->SetActivePage(main->pagectrl_Wizard->Pages(1));
      WithAddedPairs(main->chkbox_WizardActivateSource1, [&] { walk.Form(main, "page_Wizard2 with added sources"); });
    } else if (sheet == main->page_Expert) {
      walk.Form(main, sheet->Name());
      Screenshot("fit_" + sheet->Name());
      // Added pairs narrow the columns and put an activation box under
      // every source but the last.
      WithAddedPairs(main->chkbox_ExpertActivateSource1, [&] {
        walk.Form(main, "page_Expert with added sources");
        Screenshot("fit_page_Expert_added");
      });
    } else {
      walk.Form(main, sheet->Name());
      Screenshot("fit_" + sheet->Name());
    }
  }

  // The progress window as a directory run of three states shows it.
  SourceCount = 4;
  DirectoryMode = 1;
  PatchType = 1;
  Form2->Show();
  Form2->label_Patchsize->SetCaption("Patchsize : 4294967295");
  walk.Form(Form2, "Form2");
  Screenshot("fit_Form2");
  Form2->Hide();
  // And a run of one plain file pair, which has no folder meter and a
  // shorter window.
  SourceCount = 3;
  DirectoryMode = 0;
  PatchType = 0;
  Form2->Show();
  walk.Form(Form2, "Form2 single file");
  Screenshot("fit_Form2_file");
  Form2->Hide();
  ResetEngineOptions();

  ShowSplash();
  ASSERT_NE(form_Splash, nullptr);
  walk.Form(form_Splash, "form_Splash");
  CloseSplash();

  Form4->Show();
  walk.Form(Form4, "Form4");
  Form4->Hide();

  OpenAddressBook(main->rdgrp_OptionAddressBookWindowPos);
  ASSERT_NE(Form3, nullptr);
  for (int page = 0; page < Form3->pagectrl_Database->PageCount(); ++page) {
    Form3->pagectrl_Database->SetActivePage(Form3->pagectrl_Database->Pages(page));
    walk.Form(Form3, Form3->pagectrl_Database->Pages(page)->Name());
  }
  Form3->Hide();

  auto* help = new Tform_Help(Application);
  help->Show();
  walk.Form(help, "form_Help");
  delete help;

  EXPECT_TRUE(walk.misfits.empty()) << Lines(walk.misfits);
  TForm3* book = Form3;
  book->DoDestroy();
  delete book;
  DeleteFileA(TForm3::TablePath().c_str());
  delete main;
  Form1 = nullptr;
  delete Form2;
  delete Form4;
  Form2 = nullptr;
  Form4 = nullptr;
}
