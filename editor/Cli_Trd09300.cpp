// Entry point of the package; the editor form is being put in place.
extern "C" __attribute__((visibility("default"))) void IniProc() {}
