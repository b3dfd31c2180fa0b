// The new path of a move-list item: its present path with the text srcdir
// replaced by dstdir.
#include "movelist.h"

#include <cstring>

// The first occurrence of from in name replaced by to; nothing when from
// does not occur.  An empty from is found at the start, so the name is then
// put below to.
char *pathsubst(const char *from, const char *to, const char *name)
{
    const char *at = strstr(name, from);
    if (at == nullptr)
        return nullptr;
    size_t before = (size_t)(at - name), fromlen = strlen(from), tolen = strlen(to);
    size_t after = strlen(at + fromlen);
    char *result = (char *)xalloc(before + tolen + after + 1);
    memcpy(result, name, before);
    memcpy(result + before, to, tolen);
    memcpy(result + before + tolen, at + fromlen, after + 1);
    return result;
}
