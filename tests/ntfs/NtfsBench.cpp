// Times the MFT walk and the build pass on an image: ntfs_bench IMAGE
// Prints the MFT size and the rate at which it was walked, to compare with reading the image.
#include "disk/readWriteInterface.h"
#include "fs/ntfs/ntfs.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ntfs_bench IMAGE\n");
        return 2;
    }
    velmora::FileReadSeek reader;
    if (!reader.open(argv[1]))
        return 1;
    velmora::ntfs p(&reader);
    auto t0 = std::chrono::steady_clock::now();
    p.readBootSector();
    p.locateMft();
    p.walkMftRuns();
    auto t1 = std::chrono::steady_clock::now();
    size_t slots = p.entries.size();
    p.buildTree();
    auto t2 = std::chrono::steady_clock::now();
    double walk = std::chrono::duration<double>(t1 - t0).count();
    double build = std::chrono::duration<double>(t2 - t1).count();
    double mb = double(slots) * p.recordBytes / 1048576.0;
    std::printf("records %zu, MFT %.1f MiB: walk %.3f s, parse and link %.3f s, together %.1f MiB/s\n", slots, mb,
                walk, build, mb / (walk + build));
    return 0;
}
