/* A plug-in that is listed (both load exports) but cannot read: no CreateCSISet. */
const char* GetFileFormat(void) { return "Listed Without Reader"; }
int EnableControls(void) { return 0x100; } /* low byte 0 */
