// A build of the OEM library that lacks its entry point, for the engine's
// "missing entry point" path.
extern "C" __attribute__((visibility("default"))) int OemLibraryVersion() { return 1; }
