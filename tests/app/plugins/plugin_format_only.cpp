// A library that names a format but lacks "EnableControls": the program must not
// offer it and must unload it.
extern "C" const char* GetFileFormat()
{
    return "Incomplete Plug-in";
}
