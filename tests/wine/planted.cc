// Planted beside the helper: a DLL that a search of the exe's folder finds.
extern "C" __declspec(dllexport) int planted() { return 1; }
