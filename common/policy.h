// Asking before a transfer, and deciding whether an existing file is
// overwritten.
#ifndef POLICY_H
#define POLICY_H

extern char answer[256]; // the line most recently read from standard input

int confirm(const char *from, const char *to);
int askoverwrite(const char *path);
int askrooverwrite(const char *path);
int isempty(const char *path);

#endif
