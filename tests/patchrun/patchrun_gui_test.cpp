// Patch runs through the worker thread with the progress window shown, and
// the segmented meter's pixels, under Wine on a private X display.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "applier.h"
#include "dirsys.h"
#include "options.h"
#include "packer.h"
#include "patchfile.h"
#include "patchrun_tree.h"
#include "patchthread.h"
#include "progressform.h"
#include "test_support.h"
#include "gui_test_support.h"
#include "win/forms.h"
#include "win/w95meter.h"

using testsupport::Pump;

namespace {

// What a control shows, read from its parent window's own surface: Wine
// copies drawing to the X screen only now and then.
COLORREF ShownPixel(TControl* c, int x, int y) {
  FreeDeviceContexts();
  HWND wnd = c->Parent()->Handle();
  HDC dc = GetDC(wnd);
  COLORREF v = GetPixel(dc, c->Left() + x, c->Top() + y);
  ReleaseDC(wnd, dc);
  return v;
}

uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct Box {
  std::string text, caption;
};

TForm* gMain = nullptr;

class PatchRunGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    gMain = new TForm(Application);
    gMain->SetCaption("Main window");
    gMain->SetBounds(40, 40, 300, 200);
    Form2 = new TForm2(Application);
    Form2->SetLeft(20);
    Form2->SetTop(20);
    InstallWarpProgressHooks();
    AllocEngineBuffers();
  }

  void SetUp() override {
    root = testsupport::Join(testsupport::ScratchDir(),
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    testsupport::RemoveTree(root);
    tmp = testsupport::Join(root, "tmp");
    patchrun::UseTempDir(tmp);
    boxes.clear();
    Application->MessageBoxFunction = [this](HWND, const std::string& text, const std::string& caption, UINT) {
      boxes.push_back(Box{text, caption});
      return IDYES;
    };
    Application->SetTitle("Patch creator");
    gMain->Show();
    Pump(50);
  }

  void TearDown() override {
    Application->MessageBoxFunction = nullptr;
    delete ticker;
    ticker = nullptr;
  }

  void Options(const std::vector<std::string>& sources, const std::string& output) {
    ResetEngineOptions();
    ResetPackerTable();
    for (size_t i = 0; i < sources.size(); ++i) SourceList[i] = sources[i];
    SourceList[sources.size()] = output;
    SourceCount = static_cast<uint32_t>(sources.size() + 1);
  }

  // Runs `tick` on the GUI thread every 20 ms while the run goes on.
  void EveryTick(std::function<void()> tick) {
    ticker = new TTimer(nullptr);
    ticker->SetInterval(20);
    ticker->OnTimer = [tick](TObject*) { tick(); };
    ticker->SetEnabled(true);
  }

  void ExpectAppliesTo(const std::string& patchName, const std::vector<std::string>& states) {
    std::vector<uint8_t> patch = testsupport::ReadFileBytes(patchName);
    for (size_t from = 0; from + 1 < states.size(); ++from) {
      std::string out = testsupport::Join(root, "applied" + std::to_string(from));
      std::string error;
      ASSERT_TRUE(testapply::ApplyDirectoryPatch(patch, states[from], out, &error)) << error;
      std::string difference;
      EXPECT_TRUE(patchrun::SameTree(states.back(), out, &difference)) << difference;
    }
  }

  // Everything the engine's progress changes: window texts, meters, the
  // worker's counters and the files being written.
  std::string Progress(const std::string& output) {
    std::string s = Form2->label_Progress1->Caption() + Form2->label_Progress2->Caption() +
                    Form2->label_Progress3->Caption() + Form2->label_ProgressDir->Caption() +
                    Form2->label_CurrentFilename->Caption() + Form2->label_Patchsize->Caption() + "|" +
                    std::to_string(FileSize(output));
    if (PatchThread* t = RunningPatchThread)
      s += "|" + std::to_string(t->WarpPercent[0]) + "," + std::to_string(t->WarpPercent[1]) + "," +
           std::to_string(t->WarpPercent[2]) + "," + std::to_string(t->FilesDone);
    std::vector<SysDirEntry> entries;
    SysListDirectory(tmp, entries);
    for (const SysDirEntry& e : entries) s += "|" + e.name + ":" + std::to_string(FileSize(testsupport::Join(tmp, e.name)));
    return s;
  }

  std::string root, tmp;
  std::vector<Box> boxes;
  TTimer* ticker = nullptr;
};

}  // namespace

TEST(PatchRunText, PercentOfLargeCountsAndElapsedTime) {
  // 60 MiB of 100 MiB: done x 100 no longer fits in 32 bits.
  EXPECT_EQ(ProgressPercent(60u << 20, 100u << 20), 60);
  EXPECT_EQ(ProgressPercent(0xFFFFFFFFu, 0xFFFFFFFFu), 100);
  EXPECT_EQ(ProgressPercent(5, 0), 0);
  EXPECT_EQ(TForm2::ElapsedText(0), "00:00:00");
  EXPECT_EQ(TForm2::ElapsedText(3725999), "01:02:05");
  EXPECT_EQ(TForm2::ElapsedText(25u * 3600000u + 61000u), "25:01:01");
}

TEST_F(PatchRunGui, DirectoryRunFillsTheWindowAndWritesAPatchThatApplies) {
  std::vector<std::string> states = patchrun::MakeStates(root, 3, 4, 150000);
  const std::string output = testsupport::Join(root, "release.utp");
  Options(states, output);

  // The screenshot is taken at the first tick that finds the meter moving;
  // a whole run can take well under a second on a fast machine, so that
  // tick may come only as the run ends.
  std::string shot;
  EveryTick([&] {
    if (!Form2->Visible() || !shot.empty()) return;
    if (Form2->progress_Warp1->Percent() > 0) shot = testsupport::Screenshot("patchrun_form2_midrun");
  });
  EXPECT_TRUE(RunPatchThreadAndWait(gMain));
  for (int i = 0; i < 100 && shot.empty(); ++i) {
    Application->ProcessMessages();
    Sleep(20);
  }
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
  EXPECT_FALSE(shot.empty());

  // The finished run waits for Close with everything at 100.
  EXPECT_TRUE(Form2->Visible());
  EXPECT_FALSE(gMain->Visible());
  EXPECT_EQ(Form2->progress_Warp1->Percent(), 100);
  EXPECT_EQ(Form2->progress_Warp2->Percent(), 100);
  EXPECT_EQ(Form2->progress_Warp3->Percent(), 100);
  EXPECT_EQ(Form2->progress_Directory->Percent(), 100);
  EXPECT_TRUE(Form2->progress_Directory->Visible());
  EXPECT_EQ(Form2->label_ProgressDir->Caption(), "100%");
  EXPECT_EQ(Application->Title(), "100%");
  EXPECT_EQ(Form2->label_PatchExecutable->Caption(), "Executable: No.");
  EXPECT_EQ(Form2->label_PatchMultipatch->Caption(), "Multipatch: Yes.");
  EXPECT_NE(Form2->label_Patchsize->Caption(), "Patchsize : 0");
  EXPECT_EQ(Form2->button_CancelClose->Caption(), "&Close");
  EXPECT_FALSE(Form2->button_PauseContinue->Enabled());
  const int below = Form2->group_FileProgress->Top() + Form2->group_FileProgress->Height() + 15;
  EXPECT_EQ(Form2->group_FileProgress->Height(), 115 + 20 * 4);
  EXPECT_EQ(Form2->button_PauseContinue->Top(), below + 60);
  EXPECT_EQ(Form2->ClientHeight(), below + 60 + 35);

  // One label per old and new state; the last pair diffed was 0 -> 1.
  ASSERT_GE(Form2->VersionLabels.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    TLabel* label = Form2->VersionLabels[static_cast<size_t>(k)];
    EXPECT_TRUE(label->Visible());
    EXPECT_EQ(label->Caption(), "part3.bin");
    EXPECT_EQ(label->Font().Color(), k < 2 ? TColor(0) : TColor(0xFFFFFF)) << k;
  }

  Form2->button_CancelCloseClick(nullptr);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_TRUE(gMain->Visible());
  EXPECT_EQ(Application->Title(), "Patch creator");
  ExpectAppliesTo(output, states);
  EXPECT_EQ(patchrun::EntryCount(tmp), 0u);

  // A second run, of two single files: its own two labels only, and no
  // directory line, so the buttons sit 60 pixels higher.
  const std::string oldFile = testsupport::Join(states[1], "part0.bin");
  const std::string newFile = testsupport::Join(states[2], "part0.bin");
  Options({oldFile, newFile}, testsupport::Join(root, "single"));
  EXPECT_TRUE(RunPatchThreadAndWait(gMain));
  EXPECT_EQ(Form2->label_PatchMultipatch->Caption(), "Multipatch: No.");
  size_t visible = 0;
  for (TLabel* label : Form2->VersionLabels) visible += label->Visible() ? 1 : 0;
  EXPECT_EQ(visible, 2u);
  EXPECT_EQ(Form2->VersionLabels.size(), 3u);
  EXPECT_FALSE(Form2->progress_Directory->Visible());
  EXPECT_FALSE(Form2->label_DirProgress->Visible());
  const int higher = Form2->group_FileProgress->Top() + Form2->group_FileProgress->Height() + 15;
  EXPECT_EQ(Form2->button_CancelClose->Top(), higher);
  Form2->button_CancelCloseClick(nullptr);
  std::vector<uint8_t> result;
  std::string error;
  ASSERT_TRUE(testapply::ApplyFilePatch(testsupport::ReadFileBytes(testsupport::Join(root, "single.utp")),
                                        testsupport::ReadFileBytes(oldFile), &result, &error))
      << error;
  EXPECT_TRUE(result == testsupport::ReadFileBytes(newFile));
}

TEST_F(PatchRunGui, PauseHoldsTheEngineStillAndResumeFinishesACorrectPatch) {
  std::vector<std::string> states = patchrun::MakeStates(root, 2, 8, 2000000);
  const std::string output = testsupport::Join(root, "paused.utp");
  Options(states, output);

  const DWORD runStart = GetTickCount();
  DWORD pausedAt = 0;
  std::string heldProgress, heldElapsed;
  bool held = false, resumed = false;
  EveryTick([&] {
    if (!Form2->Visible() || PatchRunFinished) return;
    if (!pausedAt) {
      // Pause at the first tick of the run: on a fast machine the whole
      // computation takes well under a second.
      Form2->button_PauseContinueClick(nullptr);
      EXPECT_EQ(Form2->button_PauseContinue->Caption(), "Resume");
      pausedAt = GetTickCount();
      return;
    }
    const DWORD since = GetTickCount() - pausedAt;
    if (since >= 300 && heldProgress.empty()) {
      heldProgress = Progress(output);
      heldElapsed = Form2->label_Elapsed->Caption();
    } else if (since >= 1500 && !resumed) {
      held = Progress(output) == heldProgress && Form2->label_Elapsed->Caption() == heldElapsed;
      EXPECT_EQ(Progress(output), heldProgress);
      Form2->button_PauseContinueClick(nullptr);
      EXPECT_EQ(Form2->button_PauseContinue->Caption(), "Pause");
      // The pause does not count as elapsed time.
      EXPECT_LT(Form2->ElapsedMilliseconds() + 1000, GetTickCount() - runStart);
      resumed = true;
    }
  });
  EXPECT_TRUE(RunPatchThreadAndWait(gMain));
  ASSERT_TRUE(resumed) << "the run ended before the pause was over";
  EXPECT_TRUE(held);
  EXPECT_TRUE(boxes.empty());
  Form2->button_CancelCloseClick(nullptr);
  ExpectAppliesTo(output, states);
}

TEST_F(PatchRunGui, CancelReturnsQuicklyAndLeavesNoFiles) {
  std::vector<std::string> states = patchrun::MakeStates(root, 2, 6, 250000);
  const std::string output = testsupport::Join(root, "cancelled.utp");
  Options(states, output);

  // The worker's own end is timed, from the answer to the question until
  // its thread handle is signalled (hiding a top-level window alone takes
  // Wine two seconds on a display without a window manager).
  std::atomic<DWORD> answeredAt{0}, workerEndedAt{0};
  std::thread watcher;
  bool cancelled = false, sawOutput = false;
  Application->MessageBoxFunction = [&](HWND, const std::string& text, const std::string& caption, UINT) {
    boxes.push_back(Box{text, caption});
    HANDLE worker = nullptr;
    DuplicateHandle(GetCurrentProcess(), RunningPatchThread->Handle(), GetCurrentProcess(), &worker, SYNCHRONIZE,
                    FALSE, 0);
    answeredAt = GetTickCount();
    watcher = std::thread([worker, &workerEndedAt] {
      WaitForSingleObject(worker, 10000);
      workerEndedAt = GetTickCount();
      CloseHandle(worker);
    });
    return IDYES;
  };
  EveryTick([&] {
    if (cancelled || !Form2->Visible() || PatchRunFinished) return;
    sawOutput = sawOutput || testsupport::FileExists(output);
    if (Form2->progress_Warp2->Percent() < 30) return;
    cancelled = true;
    Form2->button_CancelCloseClick(nullptr);
  });
  EXPECT_FALSE(RunPatchThreadAndWait(gMain));
  ASSERT_TRUE(cancelled) << "the run ended before it could be cancelled";
  EXPECT_TRUE(sawOutput);
  watcher.join();
  EXPECT_LT(workerEndedAt - answeredAt, 1000u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Are you sure to cancel current patching process?");
  EXPECT_EQ(boxes[0].caption, "Cancel patching process?");
  EXPECT_EQ(RunningPatchThread, nullptr);
  EXPECT_FALSE(testsupport::FileExists(output));
  EXPECT_EQ(patchrun::EntryCount(tmp), 0u);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_TRUE(gMain->Visible());
  EXPECT_EQ(Application->Title(), "Patch creator");
  EXPECT_FALSE(PatchRunPaused);

  // The engine is whole again: the next run succeeds.
  Options(states, output);
  EXPECT_TRUE(RunPatchThreadAndWait(gMain));
  Form2->button_CancelCloseClick(nullptr);
  ExpectAppliesTo(output, states);
}

TEST_F(PatchRunGui, MissingStubAndEngineErrorsAreShownAndFailTheRun) {
  std::vector<std::string> states = patchrun::MakeStates(root, 2, 1, 3000);
  const std::string program = testsupport::Join(root, "program");
  testsupport::MakeDirs(program);
  Options(states, testsupport::Join(root, "fix"));
  PatchType = 1;
  ProgramDir = program + "\\";
  EXPECT_FALSE(RunPatchThreadAndWait(gMain));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind("Error, can't find \"", 0), 0u) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("\" in directory of the calling Quillmake, though it's required to build executeable "
                               "patchfiles"),
            std::string::npos)
      << boxes[0].text;
  EXPECT_FALSE(testsupport::FileExists(testsupport::Join(root, "fix.exe")));
  EXPECT_EQ(patchrun::EntryCount(tmp), 0u);
  EXPECT_FALSE(Form2->timer_Patch->Enabled());
  // A failed run closes the window at once.
  EXPECT_FALSE(Form2->Visible());
  EXPECT_TRUE(gMain->Visible());
  EXPECT_EQ(Application->Title(), "Patch creator");

  boxes.clear();
  const std::string missing = testsupport::Join(root, "no such state");
  Options({states[0], missing}, testsupport::Join(root, "broken.utp"));
  EXPECT_FALSE(RunPatchThreadAndWait(gMain));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].text.rfind("Error, \"" + missing + "\" does not exist or is no directory.", 0), 0u)
      << boxes[0].text;
  EXPECT_FALSE(testsupport::FileExists(testsupport::Join(root, "broken.utp")));
  EXPECT_FALSE(Form2->Visible());
  EXPECT_TRUE(gMain->Visible());

}

TEST_F(PatchRunGui, MeterPixelsFollowPercentAndEdgeStyle) {
  TForm* form = new TForm(Application);
  form->SetBounds(360, 300, 300, 200);
  form->SetColor(clBtnFace);
  TW95Meter* wide = new TW95Meter(form);
  wide->SetBounds(10, 10, 100, 18);
  wide->SetParent(form);
  TW95Meter* tall = new TW95Meter(form);
  tall->SetBounds(150, 10, 18, 100);
  tall->SetParent(form);
  TW95Meter* hidden = new TW95Meter(form);
  hidden->SetBounds(10, 60, 100, 18);
  hidden->SetVisible(false);
  hidden->SetParent(form);
  form->Show();
  Pump(150);

  const COLORREF face = ColorToRGB(clBtnFace), navy = RGB(0, 0, 128), grey = RGB(128, 128, 128),
                 white = RGB(255, 255, 255);
  // Lowered: grey at the left and top, white at the right and bottom.
  EXPECT_EQ(ShownPixel(wide, 0, 9), grey);
  EXPECT_EQ(ShownPixel(wide, 99, 9), white);
  EXPECT_EQ(ShownPixel(wide, 8, 9), face);

  wide->SetPercent(50);  // five blocks of 8 with gaps of 2 from x = 4
  EXPECT_EQ(ShownPixel(wide, 4, 4), navy);
  EXPECT_EQ(ShownPixel(wide, 12, 9), face);
  EXPECT_EQ(ShownPixel(wide, 51, 9), navy);
  EXPECT_EQ(ShownPixel(wide, 55, 9), face);

  // Raising only adds blocks over the face; lowering clears it first.
  HDC dc = GetDC(form->Handle());
  SetPixel(dc, 10 + 70, 10 + 2, RGB(255, 0, 0));
  ReleaseDC(form->Handle(), dc);
  wide->SetPercent(150);
  EXPECT_EQ(wide->Percent(), 100);
  EXPECT_EQ(ShownPixel(wide, 70, 2), RGB(255, 0, 0));
  EXPECT_EQ(ShownPixel(wide, 91, 9), navy);
  EXPECT_EQ(ShownPixel(wide, 94, 9), face);  // the tenth block does not fit
  wide->SetPercent(30);
  EXPECT_EQ(ShownPixel(wide, 70, 2), face);
  EXPECT_EQ(ShownPixel(wide, 31, 9), navy);
  EXPECT_EQ(ShownPixel(wide, 41, 9), face);
  wide->SetPercent(-5);
  EXPECT_EQ(wide->Percent(), 0);
  EXPECT_EQ(ShownPixel(wide, 8, 9), face);

  // Raised swaps the edge colours.
  wide->SetEdgeStyle(st95Raised);
  EXPECT_EQ(ShownPixel(wide, 0, 9), white);
  EXPECT_EQ(ShownPixel(wide, 99, 9), grey);
  wide->SetEdgeStyle(st95None);
  EXPECT_EQ(ShownPixel(wide, 0, 9), face);

  // Tall meters fill from the bottom.
  tall->SetPercent(50);
  EXPECT_EQ(ShownPixel(tall, 9, 90), navy);
  EXPECT_EQ(ShownPixel(tall, 9, 40), face);

  // A hidden meter leaves its place on the parent alone.
  hidden->SetPercent(100);
  EXPECT_EQ(ShownPixel(hidden, 20, 9), ColorToRGB(form->Color()));
  testsupport::Screenshot("patchrun_meters");
  delete form;
}
