/* Fills an mkntfs image through libntfs-3g with the files the real-image suite checks:
 * resident, non-resident, fragmented (enough runs for an attribute list), sparse, partial
 * last cluster, many small files in a folder, and one deleted file. Every byte is a function
 * of the file's seed and offset, so the suite can tell each file's content apart.
 * Usage: ntfs3g_fill IMAGE [FILE_COUNT] */
/* The library's headers expect what its own configure step would have defined. */
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
#include <ntfs-3g/types.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static void Fill(unsigned char* buffer, s64 offset, s64 count, unsigned seed) {
    for (s64 i = 0; i < count; ++i) {
        const u64 at = (u64)(offset + i);
        buffer[i] = (unsigned char)(at * 31u + seed * 7u + (at >> 9) + 1u);
    }
}

static ntfs_inode* Create(ntfs_inode* dir, const char* name, mode_t type) {
    ntfschar* uname = NULL;
    const int ulen = ntfs_mbstoucs(name, &uname);
    if (ulen < 0) {
        return NULL;
    }
    ntfs_inode* ni = ntfs_create(dir, const_cpu_to_le32(0), uname, (u8)ulen, type);
    free(uname);
    return ni;
}

static int WriteAt(ntfs_attr* na, s64 offset, s64 count, unsigned seed) {
    unsigned char* buffer = malloc((size_t)count);
    if (buffer == NULL) {
        return -1;
    }
    Fill(buffer, offset, count, seed);
    s64 done = 0;
    while (done < count) {
        const s64 n = ntfs_attr_pwrite(na, offset + done, count - done, buffer + done);
        if (n <= 0) {
            free(buffer);
            return -1;
        }
        done += n;
    }
    free(buffer);
    return 0;
}

static int WriteFile(ntfs_inode* dir, const char* name, s64 size, unsigned seed) {
    ntfs_inode* ni = Create(dir, name, S_IFREG);
    if (ni == NULL) {
        return -1;
    }
    ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
    int rc = na == NULL ? -1 : 0;
    if (rc == 0 && size > 0) {
        rc = WriteAt(na, 0, size, seed);
    }
    if (na != NULL) {
        ntfs_attr_close(na);
    }
    ntfs_inode_close(ni);
    return rc;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s IMAGE [FILE_COUNT]\n", argv[0]);
        return 2;
    }
    const long fileCount = argc > 2 ? atol(argv[2]) : 200;
    ntfs_volume* vol = ntfs_mount(argv[1], NTFS_MNT_NONE);
    if (vol == NULL) {
        perror("ntfs_mount");
        return 1;
    }
    ntfs_inode* root = ntfs_inode_open(vol, FILE_root);
    int rc = root == NULL ? -1 : 0;
    unsigned seed = 1;
    if (rc == 0) {
        rc |= WriteFile(root, "small.txt", 100, seed++);
        rc |= WriteFile(root, "partial.bin", 4097, seed++);
        rc |= WriteFile(root, "medium.bin", 50000, seed++);
        rc |= WriteFile(root, "big.bin", 3 * 1024 * 1024 + 5, seed++);
        rc |= WriteFile(root, "empty.txt", 0, seed++);
    }
    /* Two files grown in turn, one cluster at a time: each ends up in hundreds of runs, more
     * than one record holds, so ntfs-3g moves them behind an attribute list. */
    if (rc == 0) {
        ntfs_inode* a = Create(root, "frag_a.bin", S_IFREG);
        ntfs_inode* b = Create(root, "frag_b.bin", S_IFREG);
        ntfs_attr* na = a ? ntfs_attr_open(a, AT_DATA, AT_UNNAMED, 0) : NULL;
        ntfs_attr* nb = b ? ntfs_attr_open(b, AT_DATA, AT_UNNAMED, 0) : NULL;
        if (na == NULL || nb == NULL) {
            rc = -1;
        }
        for (int i = 0; rc == 0 && i < 500; ++i) {
            rc |= WriteAt(na, (s64)i * 4096, 4096, 101);
            rc |= WriteAt(nb, (s64)i * 4096, 4096, 102);
        }
        if (na)
            ntfs_attr_close(na);
        if (nb)
            ntfs_attr_close(nb);
        if (a)
            ntfs_inode_close(a);
        if (b)
            ntfs_inode_close(b);
    }
    /* Holes before and between written ranges become sparse runs. */
    if (rc == 0) {
        ntfs_inode* s = Create(root, "sparse.bin", S_IFREG);
        ntfs_attr* ns = s ? ntfs_attr_open(s, AT_DATA, AT_UNNAMED, 0) : NULL;
        rc = ns == NULL ? -1 : 0;
        if (rc == 0) {
            rc |= WriteAt(ns, 1024 * 1024, 4096, 103);
            rc |= WriteAt(ns, 3 * 1024 * 1024 + 123, 5000, 104);
        }
        if (ns)
            ntfs_attr_close(ns);
        if (s)
            ntfs_inode_close(s);
    }
    if (rc == 0) {
        ntfs_inode* docs = Create(root, "docs", S_IFDIR);
        rc = docs == NULL ? -1 : 0;
        char name[64];
        for (long i = 0; rc == 0 && i < fileCount; ++i) {
            snprintf(name, sizeof name, "doc%05ld.txt", i);
            rc |= WriteFile(docs, name, (i * 97) % 6000, (unsigned)(1000 + i));
        }
        if (docs)
            ntfs_inode_close(docs);
    }
    /* A file written and deleted: its record is no longer in use but still names its data. */
    if (rc == 0) {
        rc |= WriteFile(root, "deleted.docx", 20000, 105);
        ntfs_inode* ni = ntfs_pathname_to_inode(vol, NULL, "/deleted.docx");
        ntfschar* uname = NULL;
        const int ulen = ntfs_mbstoucs("deleted.docx", &uname);
        if (ni == NULL || ulen < 0 ||
            ntfs_delete(vol, "/deleted.docx", ni, root, uname, (u8)ulen) != 0) {
            rc = -1;
        }
        free(uname);
        root = NULL; /* ntfs_delete closed both inodes */
    }
    if (root != NULL) {
        ntfs_inode_close(root);
    }
    if (ntfs_umount(vol, FALSE) != 0) {
        rc = -1;
    }
    if (rc != 0) {
        fprintf(stderr, "filling %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
