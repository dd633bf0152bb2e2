#include "backdropreg.h"

#include "backdrop.h"
#include "loader.h"

void RegisterBackdropControls() {
  RegisterComponentClass<TBackdrop>("TBackdrop");
  RegisterComponentClass<TRotate3DLabel>("TRotate3DLabel");
}
