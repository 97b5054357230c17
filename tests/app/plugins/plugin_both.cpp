// A reader plug-in with both start-up exports: the program offers its format.
extern "C" const char* GetFileFormat()
{
    return "Test Plug-in Format";
}

extern "C" unsigned char EnableControls()
{
    return 1;
}
