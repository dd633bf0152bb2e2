// A library without a registration entry point.
extern "C" __declspec(dllexport) int InstfPlain() { return 7; }
