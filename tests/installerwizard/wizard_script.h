// The wizard suites' driver: runs one step per timer tick while a modal
// window is up and active (the pages let messages through while they are
// still being shown). Once the steps are used up, a window still up is
// ended, so that a failing check cannot hang the suite.
#pragma once

#include <cstdio>
#include <functional>
#include <vector>

#include "win/dialogmgr.h"
#include "win/extctrls.h"
#include "win/forms.h"

namespace wizardtest {

class Script {
 public:
  explicit Script(std::vector<std::function<void()>> steps) : steps_(std::move(steps)) {
    timer_.SetInterval(60);
    timer_.OnTimer = [this](TObject*) {
      // A step that lets messages through is not interrupted by the next.
      if (running_) return;
      HWND active = GetActiveWindow();
      TDialogManager* m = CurrentDialogManager();
      if (m && m->Frame() && m->Frame()->PageChanging()) return;
      if (!active || !IsWindowVisible(active)) {
        // A window that never becomes active fails the case in about 12 s
        // instead of hanging the suite until its time-out.
        if (++idle_ < 200) return;
        idle_ = 0;
        leftover_ = true;
        fprintf(stderr, "no active window after %zu steps (manager %s)\n", next_, m ? m->Name().c_str() : "none");
        if (m && m->Frame()) m->Frame()->ModalResult = mrOk;
        return;
      }
      idle_ = 0;
      if (next_ < steps_.size()) {
        auto step = steps_[next_++];
        running_ = true;
        step();
        running_ = false;
        return;
      }
      leftover_ = true;
      if (m && m->Frame())
        m->Frame()->ModalResult = mrOk;
      else if (TForm* f = dynamic_cast<TForm*>(TWinControl::FindControl(active)))
        f->ModalResult = mrAbort;
    };
  }
  ~Script() { Stop(); }
  // Called once the window it drives has gone.
  void Stop() { timer_.SetEnabled(false); }
  size_t Done() const { return next_; }
  bool Leftover() const { return leftover_; }

 private:
  std::vector<std::function<void()>> steps_;
  size_t next_ = 0;
  bool running_ = false;
  int idle_ = 0;
  bool leftover_ = false;
  TTimer timer_{nullptr};
};

}  // namespace wizardtest
