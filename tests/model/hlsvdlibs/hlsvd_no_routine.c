/* A library that loads but lacks the HLSVD routine. */
__attribute__((visibility("default"))) int hlsvd_version(void) { return 1; }
