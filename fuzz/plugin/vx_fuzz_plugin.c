/* A reader plug-in for fuzz_raw_csi that builds its records from the data file, so that
 * the fuzzer controls every value the plug-in reader takes from a plug-in. The file holds
 * the parameter record the plug-in hands back (116 bytes), the CSI set record (344 bytes),
 * up to seven zero-terminated texts for the text objects in order (missing ones are null)
 * and then the samples as 32-bit floats. The record's pointer words are replaced; the first
 * byte of its sample pointer word says what the plug-in hands back: 1 the record with no
 * sample block, 2 no record (a failure it reports), any other value the record with its
 * samples. Like a plug-in that keeps its side of the contract, it gives as many samples as
 * its record states (2 * points * nx * ny * nz, the missing ones zero; none when a size is
 * not positive), and no record for a grid of more than 2^24 floats. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kParams = 116, kRecord = 344, kSamplesAt = 336, kTexts = 7, kMaxFloats = 1 << 24 };
static const size_t kTextAt[kTexts] = {160, 176, 192, 208, 224, 240, 256};

const char* GetFileFormat(void) { return "Fuzz Plugin Format"; }
int EnableControls(void) { return 0x101; }

struct TRecord {
    unsigned char bytes[kRecord];
    char* texts;
    float* samples;
};

static int32_t IntAt(const unsigned char* r, size_t offset)
{
    int32_t v;
    memcpy(&v, r + offset, 4);
    return v;
}

void* CreateCSISet(const char* path, void* params)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return NULL;
    fseek(f, 0, SEEK_END);
    const long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* file = malloc(size > 0 ? (size_t)size : 1);
    const size_t got = file ? fread(file, 1, size > 0 ? (size_t)size : 0, f) : 0;
    fclose(f);
    if (!file || got < kParams + kRecord) {
        free(file);
        return NULL;
    }
    memcpy(params, file, kParams);
    struct TRecord* record = calloc(1, sizeof *record);
    memcpy(record->bytes, file + kParams, kRecord);
    int64_t floats = 2;
    for (size_t k = 0; k < 4; ++k) {
        const int32_t n = IntAt(record->bytes, 4 * k);
        floats = n < 1 ? 0 : floats <= kMaxFloats ? floats * n : kMaxFloats + 1;
    }
    const unsigned char handOver = record->bytes[kSamplesAt];
    if (floats > kMaxFloats || handOver == 2) {
        free(file);
        free(record);
        return NULL;
    }
    size_t at = kParams + kRecord;
    record->texts = malloc(got - at + 1);
    memcpy(record->texts, file + at, got - at);
    record->texts[got - at] = '\0';
    char* text = record->texts;
    for (int i = 0; i < kTexts; ++i) {
        char* chars = NULL;
        if (at < got) {
            chars = text;
            const size_t length = strlen(text) + 1;
            text += length;
            at += length;
        }
        memcpy(record->bytes + kTextAt[i] + 8, &chars, sizeof chars);
    }
    record->samples = handOver == 1 ? NULL : calloc(floats > 0 ? (size_t)floats : 1, sizeof(float));
    if (record->samples && at < got)
        memcpy(record->samples, file + at, (got - at) / 4 < (size_t)floats ? (got - at) / 4 * 4 : (size_t)floats * 4);
    memcpy(record->bytes + kSamplesAt, &record->samples, sizeof record->samples);
    free(file);
    return record;
}

void FreeCSISet(void* p)
{
    struct TRecord* record = p;
    if (!record)
        return;
    free(record->texts);
    free(record->samples);
    free(record);
}
