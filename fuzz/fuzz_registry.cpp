// Loads arbitrary bytes as a registry file, then writes the records back and reloads them.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "registry/InstrumentRegistry.h"

namespace {

// A plain array, so that it is still there when the exit handler removes the file.
char gScratchPath[] = "/tmp/rz_fuzz_registry_XXXXXX";

const char* ScratchPath() {
    static const bool created = [] {
        const int fd = ::mkstemp(gScratchPath);
        if (fd < 0) {
            std::abort();
        }
        ::close(fd);
        std::atexit([] { ::unlink(gScratchPath); });
        return true;
    }();
    (void)created;
    return gScratchPath;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Records that `size` bytes can hold at most: LF line ends, the last record without one.
size_t RecordsThatFit(size_t size) {
    constexpr size_t kHeader = CInstrumentRegistry::kSignatureLength + 1 + 10 + 1;
    constexpr size_t kRecord = sizeof(CRegistryRecord);
    return size < kHeader + kRecord ? 0 : (size - kHeader + 1) / (kRecord + 1);
}

void CheckFields(const CRegistryRecord& r) {
    Check(strnlen(r.name, sizeof r.name) <= 15);
    Check(strnlen(r.ip, sizeof r.ip) <= 15);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = ScratchPath();
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return 0;
    }
    if (size != 0) {
        std::fwrite(data, 1, size, file);
    }
    std::fclose(file);

    CInstrumentRegistry registry;
    const RzResult result = registry.Load(path).code();
    Check(result == RZ_OK || result == LINK_E_FILE_FORMAT ||
          (result == LINK_E_FILE && size > CInstrumentRegistry::kMaxFileBytes));
    if (result != RZ_OK) {
        Check(registry.GetCount() == 0);
        return 0;
    }
    Check(registry.GetCount() >= 0);
    Check(static_cast<size_t>(registry.GetCount()) <= RecordsThatFit(size));
    Check(registry.IsInSync());

    // Every record reads back with terminated fields and without trailing blanks.
    std::vector<CRegistryRecord> expected;
    for (int i = 0; i < registry.GetCount(); ++i) {
        const CRegistryRecord r = registry.GetRecord(i);
        CheckFields(r);
        const size_t nameLength = std::strlen(r.name);
        Check(nameLength == 0 || r.name[nameLength - 1] != ' ');
        const auto found = registry.FindAddress(r.name);
        Check(found.has_value());
        Check(found->find(' ') == std::string::npos);
        bool duplicate = false;
        for (const auto& e : expected) {
            duplicate = duplicate || std::strcmp(e.name, r.name) == 0;
        }
        if (!duplicate) {
            expected.push_back(r);
        }
    }

    // Written back and reloaded, the distinct records come out unchanged.
    registry.Clear();
    for (const auto& r : expected) {
        Check(registry.Add(r) == RZ_OK);
    }
    Check(registry.Save().ok());
    CInstrumentRegistry reloaded;
    Check(reloaded.Load(path).ok());
    Check(static_cast<size_t>(reloaded.GetCount()) == expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const CRegistryRecord r = reloaded.GetRecord(static_cast<int>(i));
        CheckFields(r);
        Check(std::strcmp(r.name, expected[i].name) == 0);
        Check(std::strcmp(r.ip, expected[i].ip) == 0);
    }
    return 0;
}
