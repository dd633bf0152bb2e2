// A library that exists for its version resource; each build differs.
extern "C" __declspec(dllexport) int InstfVersionProbe() { return INSTF_BUILD; }
