// The meter's ARM920T: the image (an ELF file of the ARM build) loaded into
// Unicorn's strict ARMv4T model (the TI925T core, which refuses every ARMv5
// instruction), its functions called by name, and every instruction they
// execute counted, in total and per code address.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct uc_struct;

namespace korvax::meter {

struct Symbol {
    std::string name;  // demangled
    uint32_t address;
    uint32_t size;
};

struct CallResult {
    bool ok;               // returned to the caller
    std::string error;     // why not, when !ok
    uint32_t r0;           // the return value
    uint64_t instructions; // executed by the call
};

class ArmCore {
public:
    // Loads the image; ok() tells whether it worked, error() why not.
    explicit ArmCore(const std::string& elf_path);
    ~ArmCore();
    ArmCore(const ArmCore&) = delete;
    ArmCore& operator=(const ArmCore&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // Address of a function or variable; 0 if the image has no such symbol.
    uint32_t address_of(const std::string& name) const;
    // Calls the function at `address` with up to four arguments in r0..r3 on
    // the image's stack, until it returns.
    CallResult call(uint32_t address, std::initializer_list<uint32_t> args = {});
    CallResult call(const std::string& name, std::initializer_list<uint32_t> args = {});

    bool read(uint32_t address, void* out, size_t n);
    bool write(uint32_t address, const void* data, size_t n);
    // Memory no part of the image uses (between its variables and its stack),
    // at least 8 MB, for tests that hand the image data of their own.
    uint32_t free_memory() const { return free_memory_; }

    // Instructions executed so far, by the start address of the block that
    // held them (index (address - code_base()) / 4).
    const std::vector<uint64_t>& per_address() const { return per_address_; }
    uint32_t code_base() const { return code_base_; }
    // The image's functions by address.
    const std::vector<Symbol>& functions() const { return functions_; }

    // Instructions of each function from a per_address snapshot (or the
    // difference of two), largest first.
    struct FunctionCount {
        std::string name;
        uint64_t instructions;
    };
    std::vector<FunctionCount> by_function(const std::vector<uint64_t>& per_address) const;

private:
    static void on_block(uc_struct* uc, uint64_t address, uint32_t size, void* self);
    bool load(const std::string& elf_path);

    uc_struct* uc_ = nullptr;
    std::string error_;
    std::vector<Symbol> functions_;
    std::vector<Symbol> objects_;
    uint32_t code_base_ = 0;
    std::vector<uint64_t> per_address_;
    uint64_t executed_ = 0;
    uint32_t halt_ = 0;
    uint32_t stack_top_ = 0;
    uint32_t free_memory_ = 0;
};

}  // namespace korvax::meter
