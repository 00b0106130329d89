// A shared library named as the module package but exporting no IniProc: the
// host must say so instead of crashing.
extern "C" int OutraRotina()
{
    return 42;
}
