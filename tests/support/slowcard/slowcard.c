/* slowcard: a pass-through FUSE file system that answers like a memory card in
 * a USB 2 reader. Every open, read, write, readdir and getattr of the folder
 * it shows waits a fixed delay first (2 ms unless told), and the layer counts
 * per file how often it was opened, read and asked for its attributes.
 *
 *   slowcard [--delay-ms N] [--read-only] [--parallel] [--kernel-cache]
 *            [--report FILE] SOURCE MOUNTPOINT
 *
 * It runs in the foreground until it is unmounted (fusermount3 -u MOUNTPOINT)
 * or ended by a signal; ending it with SIGKILL is what a pulled card looks like
 * to the programs using the mount (every further call fails with ENOTCONN).
 *
 * The counts are read through the mount itself: the file "/.slowcard-counts"
 * (not in SOURCE, not delayed, not counted) reads as one line per file that was
 * touched, "OPENS READS STATS PATH\n", PATH relative to the mount with a
 * leading "/". Opening "/.slowcard-reset" (which reads as empty; also on a
 * read-only mount) sets every count back to zero. --report
 * writes the same lines to FILE when the layer ends cleanly (unmount,
 * SIGTERM, SIGINT).
 *
 * Calls are served one at a time unless --parallel is given: a card reader
 * answers one request after the other, so a background reader and the user
 * interface queue behind each other as they would on a real card. Without
 * --kernel-cache the kernel drops a file's cached pages at every open, so
 * every read of a newly opened file reaches the layer (a cold card); the
 * attribute cache keeps the kernel's default of one second, and a directory
 * read hands out the attributes of its entries (as a FAT directory entry
 * carries size and times). */

#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#define CONTROL_NAME "/.slowcard-counts"
#define RESET_NAME "/.slowcard-reset"

struct options {
    const char* source;
    const char* report;
    long delayUs;
    int readOnly;
    int kernelCache;
};

static struct options g_opt = {NULL, NULL, 2000, 0, 0};
static int g_sourceFd = -1; /* the source folder, opened once */

/* ---- counts ---------------------------------------------------------------- */

struct counter {
    char* path; /* NULL: free slot */
    unsigned long opens, reads, stats;
};

static pthread_mutex_t g_countLock = PTHREAD_MUTEX_INITIALIZER;
static struct counter* g_table; /* open addressing; guarded by g_countLock */
static size_t g_tableSize, g_tableUsed;

static uint64_t HashOf(const char* s) {
    uint64_t h = 1469598103934665603ull;
    for (; *s; ++s)
        h = (h ^ (unsigned char)*s) * 1099511628211ull;
    return h;
}

/* The slot of path, made when absent; NULL when memory runs out. Lock held. */
static struct counter* SlotLocked(const char* path) {
    if ((g_tableUsed + 1) * 2 > g_tableSize) {
        size_t size = g_tableSize ? g_tableSize * 2 : 1024;
        struct counter* bigger = calloc(size, sizeof *bigger);
        if (!bigger) return NULL;
        for (size_t i = 0; i < g_tableSize; ++i) {
            if (!g_table[i].path) continue;
            size_t j = HashOf(g_table[i].path) & (size - 1);
            while (bigger[j].path)
                j = (j + 1) & (size - 1);
            bigger[j] = g_table[i];
        }
        free(g_table);
        g_table = bigger;
        g_tableSize = size;
    }
    size_t i = HashOf(path) & (g_tableSize - 1);
    while (g_table[i].path && strcmp(g_table[i].path, path) != 0)
        i = (i + 1) & (g_tableSize - 1);
    if (!g_table[i].path) {
        g_table[i].path = strdup(path);
        if (!g_table[i].path) return NULL;
        ++g_tableUsed;
    }
    return &g_table[i];
}

enum { kOpen, kRead, kStat };

static void Count(const char* path, int what) {
    pthread_mutex_lock(&g_countLock);
    struct counter* c = SlotLocked(path);
    if (c) {
        if (what == kOpen) ++c->opens;
        if (what == kRead) ++c->reads;
        if (what == kStat) ++c->stats;
    }
    pthread_mutex_unlock(&g_countLock);
}

static void ResetCounts(void) {
    pthread_mutex_lock(&g_countLock);
    for (size_t i = 0; i < g_tableSize; ++i)
        free(g_table[i].path);
    memset(g_table, 0, g_tableSize * sizeof *g_table);
    g_tableUsed = 0;
    pthread_mutex_unlock(&g_countLock);
}

/* The counts as text, malloc'ed; *length gets its size. */
static char* CountsText(size_t* length) {
    pthread_mutex_lock(&g_countLock);
    size_t cap = 256, n = 0;
    char* out = malloc(cap);
    for (size_t i = 0; out && i < g_tableSize; ++i) {
        const struct counter* c = &g_table[i];
        if (!c->path) continue;
        size_t need = strlen(c->path) + 3 * 24 + 4;
        if (n + need > cap) {
            while (n + need > cap)
                cap *= 2;
            char* grown = realloc(out, cap);
            if (!grown) {
                free(out);
                out = NULL;
                break;
            }
            out = grown;
        }
        n += (size_t)snprintf(out + n, cap - n, "%lu %lu %lu %s\n", c->opens, c->reads, c->stats,
                              c->path);
    }
    pthread_mutex_unlock(&g_countLock);
    *length = out ? n : 0;
    return out;
}

/* ---- helpers ----------------------------------------------------------------- */

static void Delay(void) {
    if (g_opt.delayUs <= 0) return;
    struct timespec t = {g_opt.delayUs / 1000000, (g_opt.delayUs % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

/* The path below the source folder: "/a/b" becomes "a/b", "/" becomes ".". */
static const char* Rel(const char* path) {
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

/* The two files of the layer itself: never delayed, never counted. */
static int IsControl(const char* path) {
    return strcmp(path, CONTROL_NAME) == 0 || strcmp(path, RESET_NAME) == 0;
}

/* Refuses what would change the source on a read-only card. */
#define WRITABLE_OR_FAIL()                                                                         \
    do {                                                                                           \
        if (g_opt.readOnly) return -EROFS;                                                         \
    } while (0)

/* ---- operations -------------------------------------------------------------- */

static void* OpInit(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    (void)conn;
    cfg->use_ino = 1;
    cfg->kernel_cache = g_opt.kernelCache;
    cfg->auto_cache = 0;
    return NULL;
}

static int OpGetattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    if (IsControl(path)) {
        memset(st, 0, sizeof *st);
        st->st_mode = S_IFREG | 0644;
        st->st_nlink = 1;
        st->st_uid = getuid();
        st->st_gid = getgid();
        return 0;
    }
    Delay();
    Count(path, kStat);
    int r = fi ? fstat((int)fi->fh, st) : fstatat(g_sourceFd, Rel(path), st, AT_SYMLINK_NOFOLLOW);
    return r == 0 ? 0 : -errno;
}

static int OpReaddir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset,
                     struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)offset;
    (void)fi;
    Delay();
    int fd = openat(g_sourceFd, Rel(path), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -errno;
    DIR* d = fdopendir(fd);
    if (!d) {
        int e = errno;
        close(fd);
        return -e;
    }
    const int plus = (flags & FUSE_READDIR_PLUS) != 0;
    struct dirent* e;
    while ((e = readdir(d)) != NULL) {
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = e->d_ino;
        st.st_mode = (mode_t)(DTTOIF(e->d_type));
        enum fuse_fill_dir_flags fillFlags = 0;
        if (plus && strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 &&
            fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            fillFlags = FUSE_FILL_DIR_PLUS;
        if (fill(buf, e->d_name, &st, 0, fillFlags)) break;
    }
    closedir(d);
    return 0;
}

static int OpOpen(const char* path, struct fuse_file_info* fi) {
    if (IsControl(path)) {
        const int reset = strcmp(path, RESET_NAME) == 0;
        if (reset) ResetCounts();
        struct text {
            size_t length;
            char* bytes;
        }* t = malloc(sizeof *t);
        if (!t) return -ENOMEM;
        t->length = 0;
        t->bytes = reset ? NULL : CountsText(&t->length);
        fi->fh = (uint64_t)(uintptr_t)t;
        fi->direct_io = 1; /* the size is not known to the kernel */
        return 0;
    }
    if ((fi->flags & O_ACCMODE) != O_RDONLY) WRITABLE_OR_FAIL();
    Delay();
    Count(path, kOpen);
    int fd = openat(g_sourceFd, Rel(path), fi->flags & ~O_NOFOLLOW);
    if (fd < 0) return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int OpCreate(const char* path, mode_t mode, struct fuse_file_info* fi) {
    /* The kernel creates-or-opens here when its entry of the name has timed
     * out; the control file then opens as by OpOpen. */
    if (IsControl(path)) return (fi->flags & O_EXCL) ? -EEXIST : OpOpen(path, fi);
    WRITABLE_OR_FAIL();
    Delay();
    Count(path, kOpen);
    int fd = openat(g_sourceFd, Rel(path), fi->flags | O_CREAT, mode);
    if (fd < 0) return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int OpRead(const char* path, char* buf, size_t size, off_t offset,
                  struct fuse_file_info* fi) {
    if (IsControl(path)) {
        struct text {
            size_t length;
            char* bytes;
        }* t = (void*)(uintptr_t)fi->fh;
        if (!t->bytes || (size_t)offset >= t->length) return 0;
        size_t n = t->length - (size_t)offset < size ? t->length - (size_t)offset : size;
        memcpy(buf, t->bytes + offset, n);
        return (int)n;
    }
    Delay();
    Count(path, kRead);
    ssize_t n = pread((int)fi->fh, buf, size, offset);
    return n >= 0 ? (int)n : -errno;
}

static int OpWrite(const char* path, const char* buf, size_t size, off_t offset,
                   struct fuse_file_info* fi) {
    if (IsControl(path)) return (int)size;
    Delay();
    ssize_t n = pwrite((int)fi->fh, buf, size, offset);
    return n >= 0 ? (int)n : -errno;
}

static int OpRelease(const char* path, struct fuse_file_info* fi) {
    if (IsControl(path)) {
        struct text {
            size_t length;
            char* bytes;
        }* t = (void*)(uintptr_t)fi->fh;
        free(t->bytes);
        free(t);
        return 0;
    }
    close((int)fi->fh);
    return 0;
}

static int OpFlush(const char* path, struct fuse_file_info* fi) {
    if (IsControl(path)) return 0;
    /* close() of a duplicate reports the errors of delayed writes. */
    int dup = fcntl((int)fi->fh, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return -errno;
    return close(dup) == 0 ? 0 : -errno;
}

static int OpFsync(const char* path, int dataOnly, struct fuse_file_info* fi) {
    if (IsControl(path)) return 0;
    Delay();
    int r = dataOnly ? fdatasync((int)fi->fh) : fsync((int)fi->fh);
    return r == 0 ? 0 : -errno;
}

static int OpTruncate(const char* path, off_t size, struct fuse_file_info* fi) {
    if (IsControl(path)) return 0;
    WRITABLE_OR_FAIL();
    Delay();
    int r;
    if (fi) {
        r = ftruncate((int)fi->fh, size);
    } else {
        int fd = openat(g_sourceFd, Rel(path), O_WRONLY);
        if (fd < 0) return -errno;
        r = ftruncate(fd, size);
        close(fd);
    }
    return r == 0 ? 0 : -errno;
}

static int OpReadlink(const char* path, char* buf, size_t size) {
    Delay();
    if (size == 0) return -EINVAL;
    ssize_t n = readlinkat(g_sourceFd, Rel(path), buf, size - 1);
    if (n < 0) return -errno;
    buf[n] = '\0';
    return 0;
}

static int OpSymlink(const char* target, const char* path) {
    WRITABLE_OR_FAIL();
    Delay();
    return symlinkat(target, g_sourceFd, Rel(path)) == 0 ? 0 : -errno;
}

static int OpUnlink(const char* path) {
    WRITABLE_OR_FAIL();
    Delay();
    return unlinkat(g_sourceFd, Rel(path), 0) == 0 ? 0 : -errno;
}

static int OpMkdir(const char* path, mode_t mode) {
    WRITABLE_OR_FAIL();
    Delay();
    return mkdirat(g_sourceFd, Rel(path), mode) == 0 ? 0 : -errno;
}

static int OpRmdir(const char* path) {
    WRITABLE_OR_FAIL();
    Delay();
    return unlinkat(g_sourceFd, Rel(path), AT_REMOVEDIR) == 0 ? 0 : -errno;
}

static int OpRename(const char* from, const char* to, unsigned int flags) {
    WRITABLE_OR_FAIL();
    Delay();
    long r = syscall(SYS_renameat2, g_sourceFd, Rel(from), g_sourceFd, Rel(to), flags);
    return r == 0 ? 0 : -errno;
}

static int OpLink(const char* from, const char* to) {
    WRITABLE_OR_FAIL();
    Delay();
    return linkat(g_sourceFd, Rel(from), g_sourceFd, Rel(to), 0) == 0 ? 0 : -errno;
}

static int OpChmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
    WRITABLE_OR_FAIL();
    Delay();
    int r = fi ? fchmod((int)fi->fh, mode) : fchmodat(g_sourceFd, Rel(path), mode, 0);
    return r == 0 ? 0 : -errno;
}

static int OpUtimens(const char* path, const struct timespec tv[2], struct fuse_file_info* fi) {
    WRITABLE_OR_FAIL();
    Delay();
    int r = fi ? futimens((int)fi->fh, tv) : utimensat(g_sourceFd, Rel(path), tv, 0);
    return r == 0 ? 0 : -errno;
}

static int OpStatfs(const char* path, struct statvfs* st) {
    (void)path;
    return fstatvfs(g_sourceFd, st) == 0 ? 0 : -errno;
}

static int OpAccess(const char* path, int mask) {
    if (IsControl(path)) return 0;
    if ((mask & W_OK) && g_opt.readOnly) return -EROFS;
    Delay();
    return faccessat(g_sourceFd, Rel(path), mask, 0) == 0 ? 0 : -errno;
}

static const struct fuse_operations kOps = {
    .init = OpInit,
    .getattr = OpGetattr,
    .readdir = OpReaddir,
    .readlink = OpReadlink,
    .symlink = OpSymlink,
    .open = OpOpen,
    .create = OpCreate,
    .read = OpRead,
    .write = OpWrite,
    .release = OpRelease,
    .flush = OpFlush,
    .fsync = OpFsync,
    .truncate = OpTruncate,
    .unlink = OpUnlink,
    .mkdir = OpMkdir,
    .rmdir = OpRmdir,
    .rename = OpRename,
    .link = OpLink,
    .chmod = OpChmod,
    .utimens = OpUtimens,
    .statfs = OpStatfs,
    .access = OpAccess,
};

static int Usage(void) {
    fprintf(stderr, "usage: slowcard [--delay-ms N] [--read-only] [--parallel] "
                    "[--kernel-cache] [--report FILE] SOURCE MOUNTPOINT\n");
    return 2;
}

int main(int argc, char** argv) {
    const char* mountpoint = NULL;
    int parallel = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strcmp(a, "--delay-ms") == 0 && i + 1 < argc) {
            char* end = NULL;
            double ms = strtod(argv[++i], &end);
            if (!end || *end || ms < 0 || ms > 10000) return Usage();
            g_opt.delayUs = (long)(ms * 1000.0);
        } else if (strcmp(a, "--read-only") == 0) {
            g_opt.readOnly = 1;
        } else if (strcmp(a, "--parallel") == 0) {
            parallel = 1;
        } else if (strcmp(a, "--kernel-cache") == 0) {
            g_opt.kernelCache = 1;
        } else if (strcmp(a, "--report") == 0 && i + 1 < argc) {
            g_opt.report = argv[++i];
        } else if (a[0] == '-') {
            return Usage();
        } else if (!g_opt.source) {
            g_opt.source = a;
        } else if (!mountpoint) {
            mountpoint = a;
        } else {
            return Usage();
        }
    }
    if (!g_opt.source || !mountpoint) return Usage();
    g_sourceFd = open(g_opt.source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_sourceFd < 0) {
        perror(g_opt.source);
        return 1;
    }

    char* args[8];
    int n = 0;
    args[n++] = argv[0];
    args[n++] = "-f";
    if (!parallel) args[n++] = "-s";
    args[n++] = "-o";
    args[n++] = g_opt.readOnly ? "ro,fsname=slowcard,subtype=slowcard,default_permissions"
                               : "fsname=slowcard,subtype=slowcard,default_permissions";
    args[n++] = (char*)mountpoint;
    args[n] = NULL;
    int rc = fuse_main(n, args, &kOps, NULL);

    if (g_opt.report) {
        size_t length = 0;
        char* text = CountsText(&length);
        FILE* f = fopen(g_opt.report, "w");
        if (f) {
            if (text) fwrite(text, 1, length, f);
            fclose(f);
        }
        free(text);
    }
    close(g_sourceFd);
    return rc;
}
