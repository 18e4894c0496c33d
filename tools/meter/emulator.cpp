#include "tools/meter/emulator.h"

#include <cxxabi.h>
#include <elf.h>
#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

namespace korvax::meter {

namespace {

// The emulated memory: 64 MB from address 0, where the image, its variables
// and its stack (down from the top) live.
constexpr uint32_t MEMORY_BYTES = 64u << 20;

std::string demangle(const char* name) {
    int status = 0;
    char* d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || d == nullptr) return name;
    std::string s = d;
    std::free(d);
    // Shorter to read: without the project's namespaces and the parameters.
    std::string out;
    for (size_t i = 0; i < s.size();) {
        bool skipped = false;
        for (std::string_view noise : {"(anonymous namespace)::", "korvax::"}) {
            if (s.compare(i, noise.size(), noise) == 0) {
                i += noise.size();
                skipped = true;
                break;
            }
        }
        if (skipped) continue;
        if (s[i] == '(' && !out.empty()) break;
        out += s[i++];
    }
    return out;
}

template <class T>
bool at(const std::vector<uint8_t>& file, size_t offset, T& out) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
    std::memcpy(&out, file.data() + offset, sizeof(T));
    return true;
}

}  // namespace

ArmCore::ArmCore(const std::string& elf_path) {
    uc_err e = uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_);
    if (e != UC_ERR_OK) {
        error_ = std::string("uc_open: ") + uc_strerror(e);
        uc_ = nullptr;
        return;
    }
    e = uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_TI925T);
    if (e == UC_ERR_OK) e = uc_mem_map(uc_, 0, MEMORY_BYTES, UC_PROT_ALL);
    if (e != UC_ERR_OK) {
        error_ = std::string("setting up the core: ") + uc_strerror(e);
        return;
    }
    if (!load(elf_path)) return;
    uc_hook hook;
    e = uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&ArmCore::on_block), this, 1, 0);
    if (e != UC_ERR_OK) error_ = std::string("uc_hook_add: ") + uc_strerror(e);
}

ArmCore::~ArmCore() {
    if (uc_) uc_close(uc_);
}

bool ArmCore::load(const std::string& elf_path) {
    std::ifstream in(elf_path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Elf32_Ehdr eh;
    if (!at(file, 0, eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS32 ||
        eh.e_machine != EM_ARM) {
        error_ = "not a 32-bit ARM ELF file: " + elf_path;
        return false;
    }
    for (unsigned i = 0; i < eh.e_phnum; ++i) {
        Elf32_Phdr ph;
        if (!at(file, eh.e_phoff + size_t{i} * eh.e_phentsize, ph)) break;
        if (ph.p_type != PT_LOAD || ph.p_filesz == 0) continue;
        if (ph.p_offset + size_t{ph.p_filesz} > file.size() || size_t{ph.p_paddr} + ph.p_filesz > MEMORY_BYTES) {
            error_ = "a segment lies outside the file or the memory";
            return false;
        }
        uc_mem_write(uc_, ph.p_paddr, file.data() + ph.p_offset, ph.p_filesz);
    }

    // The symbol table: functions (for the profile) and every name (for calls).
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        Elf32_Shdr sh;
        if (!at(file, eh.e_shoff + size_t{i} * eh.e_shentsize, sh) || sh.sh_type != SHT_SYMTAB) continue;
        Elf32_Shdr strings;
        if (!at(file, eh.e_shoff + size_t{sh.sh_link} * eh.e_shentsize, strings)) break;
        for (size_t off = sh.sh_offset; off + sizeof(Elf32_Sym) <= sh.sh_offset + size_t{sh.sh_size};
             off += sizeof(Elf32_Sym)) {
            Elf32_Sym s;
            if (!at(file, off, s) || s.st_name == 0 || s.st_shndx == SHN_UNDEF) continue;
            const size_t name_at = strings.sh_offset + size_t{s.st_name};
            if (name_at >= file.size()) continue;
            const char* raw = reinterpret_cast<const char*>(file.data() + name_at);
            if (raw[0] == '$') continue;  // mapping symbols ($a, $d)
            const int type = ELF32_ST_TYPE(s.st_info);
            Symbol sym{raw, s.st_value & ~1u, s.st_size};
            if (type == STT_FUNC) {
                sym.name = demangle(raw);
                functions_.push_back(sym);
            }
            sym.name = raw;
            objects_.push_back(sym);
        }
    }
    // By address; at one address the symbol with a size first, so that an
    // alias of size zero (the library's __aeabi_uidiv beside __udivsi3) does
    // not take the name and leave the code's instructions under no function.
    std::sort(functions_.begin(), functions_.end(), [](const Symbol& a, const Symbol& b) {
        if (a.address != b.address) return a.address < b.address;
        if (a.size != b.size) return a.size > b.size;
        return a.name < b.name;
    });
    // One name per address (aliases would count the same code twice).
    functions_.erase(std::unique(functions_.begin(), functions_.end(),
                                 [](const Symbol& a, const Symbol& b) { return a.address == b.address; }),
                     functions_.end());
    halt_ = address_of("meter_halt");
    stack_top_ = address_of("__stack_top");
    free_memory_ = (address_of("__image_end") + 0xFFFu) & ~0xFFFu;
    if (functions_.empty() || halt_ == 0 || stack_top_ == 0 || free_memory_ == 0) {
        error_ = "the image has no symbol table, meter_halt, __image_end or __stack_top";
        return false;
    }
    if (free_memory_ + (9u << 20) > stack_top_) {
        error_ = "the image leaves less than 9 MB below its stack";
        return false;
    }
    code_base_ = functions_.front().address;
    const uint32_t code_end = functions_.back().address + functions_.back().size;
    per_address_.assign((code_end - code_base_) / 4 + 1, 0);
    return true;
}

uint32_t ArmCore::address_of(const std::string& name) const {
    for (const Symbol& s : objects_) {
        if (s.name == name) return s.address;
    }
    return 0;
}

void ArmCore::on_block(uc_struct*, uint64_t address, uint32_t size, void* self) {
    // ARM state only: four bytes an instruction.
    auto* core = static_cast<ArmCore*>(self);
    const uint32_t n = size >> 2;
    core->executed_ += n;
    const uint64_t i = (address - core->code_base_) >> 2;
    if (i < core->per_address_.size()) core->per_address_[i] += n;
}

CallResult ArmCore::call(const std::string& name, std::initializer_list<uint32_t> args) {
    const uint32_t address = address_of(name);
    if (address == 0) return {false, "no function " + name, 0, 0};
    return call(address, args);
}

CallResult ArmCore::call(uint32_t address, std::initializer_list<uint32_t> args) {
    if (!ok()) return {false, error_, 0, 0};
    const int regs[4] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
    int k = 0;
    for (uint32_t a : args) {
        if (k == 4) return {false, "more than four arguments", 0, 0};
        uc_reg_write(uc_, regs[k++], &a);
    }
    uint32_t sp = stack_top_, lr = halt_;
    uc_reg_write(uc_, UC_ARM_REG_SP, &sp);
    uc_reg_write(uc_, UC_ARM_REG_LR, &lr);
    const uint64_t before = executed_;
    const uc_err e = uc_emu_start(uc_, address, halt_, 0, 0);
    CallResult r{true, "", 0, executed_ - before};
    uint32_t pc = 0;
    uc_reg_read(uc_, UC_ARM_REG_PC, &pc);
    uc_reg_read(uc_, UC_ARM_REG_R0, &r.r0);
    if (e != UC_ERR_OK) {
        r.ok = false;
        char where[16];
        std::snprintf(where, sizeof where, "0x%08x", pc);
        r.error = std::string(uc_strerror(e)) + " at pc " + where;
    } else if (pc != halt_) {
        r.ok = false;
        r.error = "stopped before returning";
    }
    return r;
}

bool ArmCore::read(uint32_t address, void* out, size_t n) {
    return uc_ && uc_mem_read(uc_, address, out, n) == UC_ERR_OK;
}

bool ArmCore::write(uint32_t address, const void* data, size_t n) {
    return uc_ && uc_mem_write(uc_, address, data, n) == UC_ERR_OK;
}

std::vector<ArmCore::FunctionCount> ArmCore::by_function(const std::vector<uint64_t>& per_address) const {
    std::vector<FunctionCount> out;
    for (const Symbol& f : functions_) {
        uint64_t sum = 0;
        const uint32_t first = (f.address - code_base_) / 4;
        const uint32_t last = first + (f.size + 3) / 4;
        for (uint32_t i = first; i < last && i < per_address.size(); ++i) sum += per_address[i];
        if (sum != 0) out.push_back({f.name, sum});
    }
    std::sort(out.begin(), out.end(),
              [](const FunctionCount& a, const FunctionCount& b) { return a.instructions > b.instructions; });
    return out;
}

}  // namespace korvax::meter
