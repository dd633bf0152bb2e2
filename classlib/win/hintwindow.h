// The window that shows the application's hints: a borderless pop-up that
// never takes the activation. Programs change its look by deriving from it
// and setting the application's HintWindowClass.
#pragma once

#include <functional>
#include <string>

#include "controls.h"

class THintWindow : public TCustomControl {
 public:
  explicit THintWindow(TComponent* AOwner);

  // Shows text in rect (screen coordinates), top-most, not activated.
  virtual void ActivateHint(const RECT& rect, const std::string& text);
  // The window's rectangle at (0, 0) for text wrapped at max_width.
  virtual RECT CalcHintRect(int max_width, const std::string& text);
  void HideHint();
  bool Showing() const;

  void WndProc(TMessage& m) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void InitWnd() override;
  void Paint() override;
};

// Makes the application's hint window, owned by 'owner'.
using THintWindowClass = std::function<THintWindow*(TComponent* owner)>;

template <class T>
THintWindowClass HintWindowClassOf() {
  return [](TComponent* owner) -> THintWindow* { return new T(owner); };
}
