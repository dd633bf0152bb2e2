// A library that exists only for its version resource.
extern "C" __declspec(dllexport) int InstkitVersionProbe() { return 1; }
