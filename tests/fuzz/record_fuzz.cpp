// The creation-time record decoder, given whatever bytes a file's
// user.DOSATTRIB attribute may hold: any other program, or a hostile user,
// can write it.  What it accepts must survive a round through the encoder
// unchanged.
#include <string>

#include "fuzz.h"
#include "platform/posix/posix.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

static bool samerecord(const dosrecord &a, const dosrecord &b)
{
    return a.hasattrib == b.hasattrib && a.hascreate == b.hascreate && a.attrib == b.attrib &&
           a.create == b.create;
}

// A time as statx gives it, converted to a file time and back: every time
// from 1601 on that a file time holds comes back exactly, and none before
// or beyond it breaks the conversion.
static void checktime(const uint8_t *data, size_t size)
{
    if (size < 12)
        return;
    uint64_t raw = 0;
    for (int i = 7; i >= 0; i--)
        raw = raw << 8 | data[i];
    uint32_t nsec = (data[8] | data[9] << 8 | data[10] << 16 | uint32_t(data[11]) << 24) % 1000000000;
    int64_t sec = static_cast<int64_t>(raw);
    FILETIME ft = tofiletime(sec, nsec);
    FUZZ_CHECK(ft.dwNanoseconds < 100);
    struct timespec ts = totimespec(ft);
    FUZZ_CHECK(ts.tv_nsec >= 0 && ts.tv_nsec < 1000000000);
    const int64_t epochdiff = 11644473600LL, maxsec = int64_t(UINT64_MAX / 10000000) - epochdiff - 1;
    if (sec >= -epochdiff && sec < maxsec)
        FUZZ_CHECK(ts.tv_sec == sec && ts.tv_nsec == long(nsec));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checktime(data, size);
    std::string blob(reinterpret_cast<const char *>(data), size);
    dosrecord rec;
    if (!decoderecord(blob, &rec))
        return 0;
    // Nothing is claimed that the record does not mark as valid.
    FUZZ_CHECK(rec.hasattrib || rec.attrib == 0);
    FUZZ_CHECK(rec.hascreate == (rec.create != 0));

    std::string again = encoderecord(rec);
    FUZZ_CHECK(again.size() == 24);
    dosrecord back;
    FUZZ_CHECK(decoderecord(again, &back));
    FUZZ_CHECK(samerecord(rec, back));
    // A creation time read from the record converts to a time and back.
    if (rec.hascreate) {
        FILETIME ft = {static_cast<DWORD>(rec.create), static_cast<DWORD>(rec.create >> 32), 0};
        struct timespec ts = totimespec(ft);
        FUZZ_CHECK(ts.tv_nsec >= 0 && ts.tv_nsec < 1000000000);
    }
    return 0;
}
