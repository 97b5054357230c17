/* A stand-in for the HLSVD library: it records the arguments of its last call and
   answers with planned components. */
#pragma once

#define HLSVD_RECORDER_MAX_SAMPLES 1024
#define HLSVD_RECORDER_MAX_COMPONENTS 16

struct HLSVDRecord {
    int calls;
    int ndata, nrows, ncols, kuser, kmax, lrwork, lzwork;
    double signal[2 * HLSVD_RECORDER_MAX_SAMPLES];
    /* Planned answer: the count reported and the components written (at most kuser). */
    int reportedCount;
    int plannedCount;
    double amplitudes[HLSVD_RECORDER_MAX_COMPONENTS], phases[HLSVD_RECORDER_MAX_COMPONENTS],
        dampings[HLSVD_RECORDER_MAX_COMPONENTS], frequencies[HLSVD_RECORDER_MAX_COMPONENTS];
};

#ifdef __cplusplus
extern "C" {
#endif
/* The library's one record; a test fills the plan and reads what was passed. */
struct HLSVDRecord* hlsvd_recorder_state(void);
#ifdef __cplusplus
}
#endif
