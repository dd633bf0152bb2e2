// Exports only the first two names the location looks up.
extern "C" __declspec(dllexport) int InternetGetLastResponseInfoA() { return 0; }
extern "C" __declspec(dllexport) int InternetOpenA() { return 0; }
