#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ui/IdleMemory.h"

namespace vm {
namespace {

// Resident kB of the non-writable mappings of files whose path contains `name`, and of its
// writable ones.
struct Resident {
    long readOnly = 0;
    long writable = 0;
};
Resident ResidentOf(const std::string& name) {
    std::ifstream smaps("/proc/self/smaps");
    Resident r;
    std::string line;
    bool mine = false;
    bool writable = false;
    while (std::getline(smaps, line)) {
        std::istringstream fields(line);
        std::string first, perms;
        fields >> first >> perms;
        if (first.find('-') != std::string::npos && perms.size() == 4) {
            mine = line.find(name) != std::string::npos;
            writable = perms[1] == 'w';
        } else if (mine && first == "Rss:") {
            long kb = 0;
            fields.clear();
            fields.str(line.substr(4));
            fields >> kb;
            (writable ? r.writable : r.readOnly) += kb;
        }
    }
    return r;
}

// Reads every byte of the loaded segments of the object whose name contains `name`.
unsigned TouchObject(const char* name) {
    struct Walk {
        const char* name;
        unsigned sum = 0;
    } walk{name};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* w = static_cast<Walk*>(data);
            if (!info->dlpi_name || !std::strstr(info->dlpi_name, w->name)) return 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const auto& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                const auto* p =
                    reinterpret_cast<const volatile unsigned char*>(info->dlpi_addr + ph.p_vaddr);
                for (size_t b = 0; b < ph.p_filesz; b += 512) w->sum += p[b];
            }
            return 0;
        },
        &walk);
    return walk.sum;
}

struct Shape {
    virtual ~Shape() = default;
    virtual int Corners() const = 0;
};
struct Square : Shape {
    int Corners() const override { return 4; }
};
int g_written[1024];
const char* const g_names[] = {"首页", "更新", "设置"};

using CompressFn = int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long);
using CompressBoundFn = unsigned long (*)(unsigned long);

TEST(IdleMemory, LoadedCodeLetGoComesBackIntactAndWrittenDataStays) {
    // A library loaded late, as the page's engine is; read through so its pages are in.
    void* zlib = dlopen("libz.so.1", RTLD_NOW);
    ASSERT_NE(zlib, nullptr);
    const unsigned before = TouchObject("libz.so");
    const Resident in = ResidentOf("libz.so");
    ASSERT_GT(in.readOnly, 16);

    for (int i = 0; i < 1024; ++i) g_written[i] = i * 7;
    auto heap = std::make_unique<std::vector<int>>(1 << 20, 3);
    std::unique_ptr<Shape> shape = std::make_unique<Square>();

    EXPECT_GT(DropLoadedCodePages(), 0u);
    TrimHeap();
    const Resident out = ResidentOf("libz.so");
    EXPECT_LT(out.readOnly, in.readOnly);
    // Data that was written is never let go.
    EXPECT_EQ(out.writable, in.writable);

    // Everything reads and runs as before.
    EXPECT_EQ(TouchObject("libz.so"), before);
    auto compressBound = reinterpret_cast<CompressBoundFn>(dlsym(zlib, "compressBound"));
    auto compress = reinterpret_cast<CompressFn>(dlsym(zlib, "compress"));
    auto uncompress = reinterpret_cast<CompressFn>(dlsym(zlib, "uncompress"));
    ASSERT_TRUE(compressBound && compress && uncompress);
    const std::string text(20000, 'v');
    std::vector<unsigned char> packed(compressBound(text.size()));
    unsigned long packedSize = packed.size();
    ASSERT_EQ(compress(packed.data(), &packedSize,
                       reinterpret_cast<const unsigned char*>(text.data()), text.size()),
              0);
    std::string back(text.size(), '\0');
    unsigned long backSize = back.size();
    ASSERT_EQ(uncompress(reinterpret_cast<unsigned char*>(back.data()), &backSize, packed.data(),
                         packedSize),
              0);
    EXPECT_EQ(back, text);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(g_written[i], i * 7);
    EXPECT_EQ((*heap)[12345], 3);
    EXPECT_EQ(shape->Corners(), 4);
    EXPECT_STREQ(g_names[1], "更新");

    // Again, with everything already let go once.
    ReleaseIdleMemory();
    EXPECT_EQ(TouchObject("libz.so"), before);
    dlclose(zlib);
}

}  // namespace
}  // namespace vm
