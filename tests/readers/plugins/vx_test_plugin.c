/* A reader plug-in for the plug-in reader's tests. The scenario comes from the data
 * file's name: "ok" (8 x 8 x 1 voxels of 512 points, sample i of the record is i),
 * "null" (no record), "nosamples" (a record without samples), "badecho" (echo position
 * = points), "rawflag" (sets the "Load raw data" byte of the parameter record), "flags2"
 * (the record's flag bytes for a shifted echo, frequency domain and k-space are 2). The
 * record is packed at the documented byte offsets; text objects are 16 bytes with the
 * character pointer in their second 8-byte word. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static int g_freeCalls;
static void* g_lastFreed = (void*)1;
static unsigned char g_lastParams[116];

const char* GetFileFormat(void) { return "Test Plugin Format"; }
int EnableControls(void) { return 0x101; } /* low byte 1 */

int TestPluginFreeCalls(void) { return g_freeCalls; }
void* TestPluginLastFreed(void) { return g_lastFreed; }
const unsigned char* TestPluginLastParams(void) { return g_lastParams; }

static void put32(unsigned char* r, size_t off, const void* v) { memcpy(r + off, v, 4); }
static void putInt(unsigned char* r, size_t off, int32_t v) { put32(r, off, &v); }
static void putFloat(unsigned char* r, size_t off, float v) { put32(r, off, &v); }

static const char* g_texts[7] = {"Exam", "2024.05.06", NULL, "1970.01.01", "Supine", "HF", "1H"};

void* CreateCSISet(const char* path, void* params)
{
    unsigned char* p = (unsigned char*)params;
    memcpy(g_lastParams, p, 116);
    if (strstr(path, "null"))
        return NULL;
    unsigned char* r = calloc(1, 344);
    const int nx = 8, ny = 8, nz = 1, points = 512;
    putInt(r, 0, nx);
    putInt(r, 4, ny);
    putInt(r, 8, nz);
    putInt(r, 12, points);
    putInt(r, 16, 2);
    putInt(r, 20, 2500);
    putFloat(r, 24, 127.5f);
    for (int k = 0; k < 3; ++k) {
        putFloat(r, 28 + 4 * k, 160.0f + k);
        putFloat(r, 40 + 4 * k, 1.0f + k);
        putFloat(r, 52 + 4 * k, -3.0f - k);
        putFloat(r, 64 + 16 * k, 1.0f);  /* identity rotation, row by row */
        putFloat(r, 100 + 16 * k, 1.0f);
        putFloat(r, 288 + 4 * k, 5.0f);
        putFloat(r, 300 + 4 * k, 6.0f);
        putFloat(r, 312 + 4 * k, 7.0f);
        putFloat(r, 324 + 4 * k, 0.5f * k);
    }
    const int flag = strstr(path, "flags2") ? 2 : 1;
    r[136] = (unsigned char)flag;
    putInt(r, 140, strstr(path, "badecho") ? points : 3);
    r[144] = 0;
    putFloat(r, 148, 10.0f);
    putFloat(r, 152, 1.5f);
    r[156] = (unsigned char)(flag == 2 ? 2 : 0);
    r[157] = (unsigned char)flag;
    for (int t = 0; t < 7; ++t)
        memcpy(r + 160 + 16 * t + 8, &g_texts[t], sizeof(char*));
    putFloat(r, 272, 64.0f);
    putFloat(r, 276, 1500.0f);
    putFloat(r, 280, 35.0f);
    putInt(r, 284, 1);
    if (!strstr(path, "nosamples")) {
        float* samples = malloc(sizeof(float) * 2 * points * nx * ny * nz);
        for (int i = 0; i < 2 * points * nx * ny * nz; ++i)
            samples[i] = (float)i;
        memcpy(r + 336, &samples, sizeof(float*));
    }
    if (strstr(path, "rawflag"))
        p[113] = 1;
    /* The plug-in may rewrite the parameters: the samples are spectra in voxel space. */
    p[111] = 1;
    p[112] = 1;
    return r;
}

void FreeCSISet(void* record)
{
    ++g_freeCalls;
    g_lastFreed = record;
    if (record) {
        float* samples;
        memcpy(&samples, (unsigned char*)record + 336, sizeof(float*));
        free(samples);
        free(record);
    }
}
