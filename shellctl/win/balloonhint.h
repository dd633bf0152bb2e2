// Speech-balloon hints: a rounded box with a pointer towards the mouse and a
// dithered shadow, drawn over a snapshot of the screen so that its corners
// look transparent. A TTalvoHint on the main form holds the look and makes
// TNewHint the application's hint window.
#pragma once

#include <functional>

#include "ptgeometry.h"
#include "win/hintwindow.h"

using ptgeom::THintDirection;
using ptgeom::hdDownLeft;
using ptgeom::hdDownRight;
using ptgeom::hdUpLeft;
using ptgeom::hdUpRight;

using TOnSelectHintDirection = std::function<void(TControl* HintControl, THintDirection& HintDirection)>;

class TTalvoHint : public TComponent {
 public:
  explicit TTalvoHint(TComponent* AOwner);

  THintDirection HintDirection() const { return hint_direction_; }
  void SetHintDirection(THintDirection v) { hint_direction_ = v; }
  TColor HintColor() const { return hint_color_; }
  void SetHintColor(TColor v) { hint_color_ = v; }
  TColor HintShadowColor() const { return hint_shadow_color_; }
  void SetHintShadowColor(TColor v) { hint_shadow_color_ = v; }
  TFont& HintFont() { return hint_font_; }
  // Takes the font and gives it to the application's hint window.
  void SetHintFont(const TFont& f);
  int HintPauseTime() const { return hint_pause_time_; }
  // A changed value becomes the application's hint pause.
  void SetHintPauseTime(int v);

  // May change the direction of the hint about to show, for that hint only.
  TOnSelectHintDirection OnSelectHintDirection;

  void Loaded() override;

 private:
  // The application's hint window is made anew with the class in force.
  void RemakeHintWindow();
  void HandFontOver();

  THintDirection hint_direction_ = hdUpRight;
  TColor hint_color_ = 65535;
  TColor hint_shadow_color_ = 8388736;
  TFont hint_font_;
  int hint_pause_time_ = 600;
};

class TNewHint : public THintWindow {
 public:
  explicit TNewHint(TComponent* AOwner);
  ~TNewHint() override;

  void ActivateHint(const RECT& rect, const std::string& text) override;
  TTalvoHint* Controller() const { return controller_; }
  // The direction of the hint shown now.
  THintDirection Direction() const { return direction_; }

  void WndProc(TMessage& m) override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void CreateParams(TCreateParams& p) override;
  void Paint() override;

 private:
  void SetController(TTalvoHint* c);

  TTalvoHint* controller_ = nullptr;
  THintDirection direction_ = hdUpRight;
};
