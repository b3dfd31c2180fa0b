// Taking path names apart and putting them together.  '\' and '/' both
// separate; a separator these routines write is always '\'.
#ifndef PATHS_H
#define PATHS_H

const char *pathtail(const char *path); // points into path
char *pathhead(const char *path);       // caller frees
char *pathjoin(const char *dir, const char *name); // caller frees
char *fullpath(const char *path);       // caller frees; never fails

#endif
