// Worker threads handing work to the GUI thread, also while it is inside a
// modal loop, and waking the GUI thread when they end.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "win/appthread.h"
#include "win/forms.h"
#include "win/stdctrls.h"

namespace {

class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread*)> body, std::atomic<bool>* destroyed = nullptr)
      : body_(std::move(body)), destroyed_(destroyed) {}
  ~LambdaThread() override {
    if (destroyed_) *destroyed_ = true;
  }
  using TThread::CheckPoint;

 protected:
  void Execute() override { body_(this); }

 private:
  std::function<void(LambdaThread*)> body_;
  std::atomic<bool>* destroyed_;
};

MORVANE_EXCEPTION(ETestSyncError, Exception);

}  // namespace

TEST(Thread, SynchronizeRunsOnTheGuiThreadInsideShowModalAndCarriesExceptionsBack) {
  Application->Initialize();
  TForm* form = new TForm(Application);
  TLabel* label = new TLabel(form);
  label->SetParent(form);
  DWORD gui = GetCurrentThreadId();
  std::atomic<DWORD> ran_on{0};
  std::string caught;
  LambdaThread* worker = nullptr;
  form->OnShow = [&](TObject*) {
    worker = new LambdaThread([&](LambdaThread*) {
      TThread::Synchronize([&] {
        ran_on = GetCurrentThreadId();
        label->SetCaption("from worker");
      });
      try {
        TThread::Synchronize([] { throw ETestSyncError("raised on the GUI thread"); });
      } catch (const ETestSyncError& e) {
        caught = e.Message();
      }
      TThread::Synchronize([&] { form->ModalResult = mrOk; });
    });
    worker->Start();
  };
  int result = form->ShowModal();
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(ran_on.load(), gui);
  EXPECT_EQ(label->Caption(), "from worker");
  EXPECT_EQ(caught, "raised on the GUI thread");
  worker->WaitFor();
  delete worker;
  delete form;
}

TEST(Thread, FinishingWorkerWakesHandleMessage) {
  Application->Initialize();
  std::atomic<bool> done{false}, destroyed{false};
  LambdaThread* t = new LambdaThread(
      [&](LambdaThread*) {
        Sleep(150);
        done = true;
      },
      &destroyed);
  t->FreeOnTerminate = true;
  DWORD start = GetTickCount();
  t->Start();
  // Nothing else posts messages here: only the worker's wake-up ends the wait.
  while (!done || !destroyed) Application->HandleMessage();
  DWORD took = GetTickCount() - start;
  EXPECT_LT(took, 3000u);
  EXPECT_TRUE(destroyed);  // freed itself
}

TEST(Thread, WaitForOnTheGuiThreadServesSynchronize) {
  Application->Initialize();
  // Many calls, so that requests also arrive at every point of WaitFor's
  // own loop: one that slipped past its wait would block both threads.
  const int kCalls = 500;
  std::atomic<int> value{0};
  LambdaThread t([&](LambdaThread* self) {
    for (int i = 0; i < kCalls; ++i) TThread::Synchronize([&] { ++value; });
    self->ReturnValue = 7;
  });
  // A watchdog wakes the GUI thread whenever no call was served for a
  // second, so a lost request fails the test instead of hanging it.
  std::atomic<bool> over{false};
  std::atomic<int> rescues{0};
  LambdaThread watchdog([&](LambdaThread*) {
    int seen = -1;
    while (!over) {
      for (int k = 0; k < 100 && !over; ++k) Sleep(10);
      if (over) break;
      if (value == seen) {
        ++rescues;
        WakeGuiThread();
      }
      seen = value;
    }
  });
  watchdog.Start();
  t.Start();
  EXPECT_EQ(t.WaitFor(), 7);
  over = true;
  watchdog.WaitFor();
  EXPECT_EQ(value, kCalls);
  EXPECT_EQ(rescues, 0) << "WaitFor slept through a waiting Synchronize";
  EXPECT_TRUE(t.Finished());
}

TEST(Thread, PauseAndTerminateAtTheCheckPoint) {
  std::atomic<int> steps{0};
  LambdaThread t([&](LambdaThread* self) {
    while (self->CheckPoint()) {
      ++steps;
      Sleep(1);
    }
  });
  t.Start();
  while (steps < 5) Sleep(1);
  t.SetPaused(true);
  Sleep(50);
  int frozen = steps;
  Sleep(100);
  EXPECT_LE(steps - frozen, 1);  // at most the step under way
  t.SetPaused(false);
  int resumed = steps;
  while (steps < resumed + 5) Sleep(1);
  // Terminating wakes a paused worker too.
  t.SetPaused(true);
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
  EXPECT_TRUE(t.Terminated());
}

TEST(Thread, ExceptionLeavingExecuteIsKeptAndNeverStartedThreadIsFreed) {
  LambdaThread t([](LambdaThread*) { throw ETestSyncError("boom"); });
  t.Start();
  t.WaitFor();
  ASSERT_TRUE(t.FatalException());
  try {
    std::rethrow_exception(t.FatalException());
  } catch (const ETestSyncError& e) {
    EXPECT_EQ(e.Message(), "boom");
  }
  bool ran = false;
  { LambdaThread never([&](LambdaThread*) { ran = true; }); }
  EXPECT_FALSE(ran);
}

TEST(Thread, SynchronizeIsServedByAProcessMessagesLoop) {
  Application->Initialize();
  std::atomic<bool> done{false};
  int calls = 0;
  LambdaThread t([&](LambdaThread*) {
    for (int i = 0; i < 20; ++i) TThread::Synchronize([&] { ++calls; });
    done = true;
  });
  t.Start();
  DWORD start = GetTickCount();
  while (!done && GetTickCount() - start < 5000) {
    Application->ProcessMessages();
    Sleep(1);
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(calls, 20);
  t.WaitFor();
}
