/* ntfs-edit: changes an unmounted NTFS image through libntfs-3g, without FUSE or root, to make
 * scenes for the deleted-file engine: folders, files copied in (whole, in one-cluster pieces,
 * or behind a sparse hole) and files deleted again.
 *
 * usage: ntfs-edit IMAGE COMMAND...
 *   mkdir PATH                      create a folder (its parent must exist)
 *   put HOST PATH                   copy the host file HOST into PATH
 *   put-sparse HOST PATH HOLE       the same, HOST's bytes starting at offset HOLE after a hole
 *   put-fragmented HOST PATH        copy HOST one cluster at a time, reserving the cluster after
 *                                   each piece, so that every cluster is a run of its own (the
 *                                   reserved clusters belong to no file)
 *   rm PATH                         delete a file
 * Paths inside the image are absolute, with '/'. Commands run in order; the first failure
 * stops the tool with exit status 1. */
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#include <stdarg.h>
#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/lcnalloc.h>
#include <ntfs-3g/types.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Splits "/a/b/c" into the parent "/a/b" (or "/") and the name "c". */
static int SplitPath(const char* path, char* parent, size_t parentSize, const char** name) {
    const char* slash = strrchr(path, '/');
    if (path[0] != '/' || slash == NULL || slash[1] == '\0') {
        return -1;
    }
    size_t length = (size_t)(slash - path);
    if (length == 0) {
        length = 1;
    }
    if (length >= parentSize) {
        return -1;
    }
    memcpy(parent, path, length);
    parent[length] = '\0';
    *name = slash + 1;
    return 0;
}

static ntfs_inode* Create(ntfs_volume* vol, const char* path, mode_t type) {
    char parent[4096];
    const char* name = NULL;
    if (SplitPath(path, parent, sizeof parent, &name) != 0) {
        return NULL;
    }
    ntfs_inode* dir = ntfs_pathname_to_inode(vol, NULL, parent);
    if (dir == NULL) {
        return NULL;
    }
    ntfschar* uname = NULL;
    const int ulen = ntfs_mbstoucs(name, &uname);
    ntfs_inode* ni =
        ulen < 0 ? NULL : ntfs_create(dir, const_cpu_to_le32(0), uname, (u8)ulen, type);
    free(uname);
    ntfs_inode_close(dir);
    return ni;
}

/* Writes `count` bytes at `offset` in full. */
static int WriteAll(ntfs_attr* na, s64 offset, const unsigned char* data, s64 count) {
    s64 done = 0;
    while (done < count) {
        const s64 n = ntfs_attr_pwrite(na, offset + done, count - done, data + done);
        if (n <= 0) {
            return -1;
        }
        done += n;
    }
    return 0;
}

/* An open host file and the image file it is copied into. */
struct Copy {
    FILE* host;
    ntfs_inode* ni;
    ntfs_attr* na;
    s64 at;
};

static int OpenCopy(ntfs_volume* vol, const char* host, const char* path, s64 start,
                    struct Copy* copy) {
    memset(copy, 0, sizeof *copy);
    copy->at = start;
    copy->host = fopen(host, "rb");
    copy->ni = copy->host ? Create(vol, path, S_IFREG) : NULL;
    copy->na = copy->ni ? ntfs_attr_open(copy->ni, AT_DATA, AT_UNNAMED, 0) : NULL;
    return copy->na == NULL ? -1 : 0;
}

/* Copies the next piece (at most `limit` bytes); 1 when something was copied, 0 at the end. */
static int CopyPiece(struct Copy* copy, size_t limit) {
    static unsigned char buffer[1 << 20];
    if (limit > sizeof buffer) {
        limit = sizeof buffer;
    }
    const size_t got = fread(buffer, 1, limit, copy->host);
    if (got == 0) {
        return ferror(copy->host) ? -1 : 0;
    }
    if (WriteAll(copy->na, copy->at, buffer, (s64)got) != 0) {
        return -1;
    }
    copy->at += (s64)got;
    return 1;
}

static int CloseCopy(struct Copy* copy) {
    int rc = 0;
    if (copy->na)
        ntfs_attr_close(copy->na);
    if (copy->ni && ntfs_inode_close(copy->ni) != 0)
        rc = -1;
    if (copy->host)
        fclose(copy->host);
    return rc;
}

static int Put(ntfs_volume* vol, const char* host, const char* path, s64 hole) {
    struct Copy copy;
    int rc = OpenCopy(vol, host, path, hole, &copy);
    int more = 1;
    while (rc == 0 && more > 0) {
        more = CopyPiece(&copy, 1 << 20);
        if (more < 0)
            rc = -1;
    }
    return CloseCopy(&copy) != 0 ? -1 : rc;
}

/* The last cluster the attribute occupies, or -1. */
static LCN LastLcn(ntfs_attr* na) {
    if (ntfs_attr_map_whole_runlist(na) != 0 || na->rl == NULL) {
        return -1;
    }
    LCN last = -1;
    for (runlist_element* rl = na->rl; rl->length != 0; ++rl) {
        if (rl->lcn >= 0) {
            last = rl->lcn + rl->length - 1;
        }
    }
    return last;
}

static int PutFragmented(ntfs_volume* vol, const char* host, const char* path) {
    struct Copy copy;
    int rc = OpenCopy(vol, host, path, 0, &copy);
    int more = 1;
    while (rc == 0 && more > 0) {
        more = CopyPiece(&copy, vol->cluster_size);
        if (more < 0) {
            rc = -1;
        } else if (more > 0) {
            /* Take the next cluster away, so the next piece has to go elsewhere. */
            const LCN last = LastLcn(copy.na);
            if (last >= 0 && last + 1 < vol->nr_clusters) {
                free(ntfs_cluster_alloc(vol, 0, 1, last + 1, DATA_ZONE));
            }
        }
    }
    return CloseCopy(&copy) != 0 ? -1 : rc;
}

static int Mkdir(ntfs_volume* vol, const char* path) {
    ntfs_inode* ni = Create(vol, path, S_IFDIR);
    return ni == NULL || ntfs_inode_close(ni) != 0 ? -1 : 0;
}

static int Remove(ntfs_volume* vol, const char* path) {
    char parent[4096];
    const char* name = NULL;
    if (SplitPath(path, parent, sizeof parent, &name) != 0) {
        return -1;
    }
    ntfs_inode* ni = ntfs_pathname_to_inode(vol, NULL, path);
    ntfs_inode* dir = ntfs_pathname_to_inode(vol, NULL, parent);
    ntfschar* uname = NULL;
    const int ulen = ntfs_mbstoucs(name, &uname);
    int rc = -1;
    if (ni != NULL && dir != NULL && ulen >= 0) {
        /* ntfs_delete closes both inodes, whatever its result. */
        rc = ntfs_delete(vol, path, ni, dir, uname, (u8)ulen);
        ni = dir = NULL;
    }
    if (ni)
        ntfs_inode_close(ni);
    if (dir)
        ntfs_inode_close(dir);
    free(uname);
    return rc;
}

static int Usage(const char* program) {
    fprintf(stderr,
            "usage: %s IMAGE COMMAND...\n"
            "  mkdir PATH | put HOST PATH | put-sparse HOST PATH HOLE |\n"
            "  put-fragmented HOST PATH | rm PATH\n",
            program);
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage(argv[0]);
    }
    ntfs_volume* vol = ntfs_mount(argv[1], NTFS_MNT_NONE);
    if (vol == NULL) {
        perror(argv[1]);
        return 1;
    }
    int rc = 0;
    int i = 2;
    while (rc == 0 && i < argc) {
        const char* command = argv[i];
        const int left = argc - i - 1;
        if (strcmp(command, "mkdir") == 0 && left >= 1) {
            rc = Mkdir(vol, argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "put") == 0 && left >= 2) {
            rc = Put(vol, argv[i + 1], argv[i + 2], 0);
            i += 3;
        } else if (strcmp(command, "put-sparse") == 0 && left >= 3) {
            rc = Put(vol, argv[i + 1], argv[i + 2], atoll(argv[i + 3]));
            i += 4;
        } else if (strcmp(command, "put-fragmented") == 0 && left >= 2) {
            rc = PutFragmented(vol, argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (strcmp(command, "rm") == 0 && left >= 1) {
            rc = Remove(vol, argv[i + 1]);
            i += 2;
        } else {
            ntfs_umount(vol, FALSE);
            return Usage(argv[0]);
        }
        if (rc != 0) {
            fprintf(stderr, "ntfs-edit: %s failed\n", command);
        }
    }
    if (ntfs_umount(vol, FALSE) != 0) {
        rc = -1;
    }
    return rc == 0 ? 0 : 1;
}
