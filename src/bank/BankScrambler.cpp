#include "bank/BankScrambler.h"

namespace korvelt {

void BankScrambler::unscramble(void* bytes, std::size_t n) noexcept {
    auto* p = static_cast<std::uint8_t*>(bytes);
    unsigned pos = position_;
    // Up to the end of the key, then whole turns of the key, then the rest.
    while (n > 0) {
        std::size_t run = kBankKeyLength - pos;
        if (run > n)
            run = n;
        for (std::size_t i = 0; i < run; ++i)
            p[i] ^= bankKeyTable[pos + i];
        p += run;
        n -= run;
        pos += static_cast<unsigned>(run);
        if (pos == kBankKeyLength)
            pos = 0;
    }
    position_ = pos;
}

} // namespace korvelt
