// A chunk head may claim any number of records; the reader must never allocate for more
// records than the file holds. Every allocation of the reading thread is counted here, so
// the promise is checked as such: a small bank whose chunk claims gigabytes is refused,
// and reading it allocates no more bytes than the file has.
//
// The counting replaces the global allocation functions of this test program; it only
// counts on a thread that asked for it, and every other allocation goes straight to
// malloc and free.

#include "bank/Csf2file.h"

#include "BankTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

struct AllocationCount {
    bool active = false;
    std::size_t bytes = 0;
    std::size_t largest = 0;
};
thread_local AllocationCount tCount;

// Far beyond any bank in this file: a request this large is recorded and refused at once,
// so a reader that trusts the claim fails quickly instead of touching gigabytes.
constexpr std::size_t kRefused = std::size_t(64) << 20;

void* allocate(std::size_t n) {
    if (tCount.active) {
        tCount.bytes += n;
        tCount.largest = std::max(tCount.largest, n);
        if (n >= kRefused)
            throw std::bad_alloc();
    }
    if (void* p = std::malloc(n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t n) {
    return allocate(n);
}
void* operator new[](std::size_t n) {
    return allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
    return operator new(n, t);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace korvelt {
namespace {

void putLE32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + std::size_t(i)] = static_cast<char>(v >> (8 * i));
}

TEST(RecordCountBound, AChunkClaimingGigabytesIsRefusedWithinTheFilesSize) {
    test::TempDir dir;
    const std::string good = test::smallBank().build();
    for (const char* chunk : {"phdr", "pbag", "pgen", "inst", "ibag", "igen", "shdr"}) {
        SCOPED_TRACE(chunk);
        std::string bytes = good;
        const auto at = bytes.find(chunk);
        ASSERT_NE(at, std::string::npos);
        putLE32(bytes, at + 4, 0xFFFFFFF0u); // some hundred million records
        const std::string path = dir.write(std::string(chunk) + ".sf2", bytes);

        test::StoreFixture fixture;
        Csf2file bank(path, fixture.notifier, fixture.store);
        tCount = AllocationCount{true};
        bool threw = false;
        try {
            bank.rdfile();
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        const AllocationCount counted = tCount;
        tCount = AllocationCount{};

        EXPECT_FALSE(threw);
        EXPECT_LE(counted.bytes, bytes.size()) << "largest request " << counted.largest;
        EXPECT_FALSE(bank.loaded());
        EXPECT_EQ(fixture.notifier.texts(), std::vector<std::string>{test::kSf2Invalid});
    }
}

} // namespace
} // namespace korvelt
