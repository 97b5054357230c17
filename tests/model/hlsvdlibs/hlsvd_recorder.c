#include "HLSVDRecorder.h"

static struct HLSVDRecord g_record;

__attribute__((visibility("default"))) struct HLSVDRecord* hlsvd_recorder_state(void) { return &g_record; }

__attribute__((visibility("default"))) void hlsvdpw_(const double* signal, const int* ndata, const int* nrows,
                                                     const int* ncols, const int* kuser, int* kfit,
                                                     const int* kmax, double* sigma, double* amplitudes,
                                                     double* phases, double* dampings, double* frequencies,
                                                     double* rwork, const int* lrwork, double* zwork,
                                                     const int* lzwork)
{
    (void)sigma;
    (void)rwork;
    (void)zwork;
    ++g_record.calls;
    g_record.ndata = *ndata;
    g_record.nrows = *nrows;
    g_record.ncols = *ncols;
    g_record.kuser = *kuser;
    g_record.kmax = *kmax;
    g_record.lrwork = *lrwork;
    g_record.lzwork = *lzwork;
    for (int i = 0; i < 2 * *ndata && i < 2 * HLSVD_RECORDER_MAX_SAMPLES; ++i)
        g_record.signal[i] = signal[i];
    for (int c = 0; c < g_record.plannedCount && c < *kuser; ++c) {
        amplitudes[c] = g_record.amplitudes[c];
        phases[c] = g_record.phases[c];
        dampings[c] = g_record.dampings[c];
        frequencies[c] = g_record.frequencies[c];
    }
    *kfit = g_record.reportedCount;
}
