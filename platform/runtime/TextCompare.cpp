#include "platform/runtime/TextCompare.h"

#include <dlfcn.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>
#include <unicode/uvernum.h>

#include <cstdint>
#include <memory>
#include <string>

namespace korvalen {

namespace {

bool IsAscii(std::string_view text) noexcept {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

char FoldAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A to Z match a to z; every other byte only itself.
bool AsciiCaselessEqual(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

bool IsValidUtf8(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      return false;
    }
  }
  return true;
}

// The exported name of an ICU C function: ICU's headers rename each one with
// the library's version ("u_strFoldCase_72"), unless a build turns that off.
#define KORVALEN_ICU_SYMBOL_TEXT(name) #name
#define KORVALEN_ICU_SYMBOL(name) KORVALEN_ICU_SYMBOL_TEXT(name)

struct TDlClose {
  void operator()(void* handle) const noexcept { dlclose(handle); }
};

// ICU's C functions, from the library of the version the program was built
// against, loaded the first time a text beyond ASCII is compared. Loading ICU
// costs a program more than a whole conversion does, and descriptions in
// ASCII never need it.
class TIcu {
 public:
  // The loaded library, or nullptr should it or one of its functions be missing.
  static const TIcu* Get() {
    static const std::unique_ptr<const TIcu> icu = Load();
    return icu.get();
  }

  decltype(&u_strFromUTF8) FromUtf8 = nullptr;
  decltype(&u_strFoldCase) FoldCase = nullptr;
  decltype(&unorm2_getNFDInstance) NfdInstance = nullptr;
  decltype(&unorm2_normalize) Normalize = nullptr;

 private:
  static std::unique_ptr<const TIcu> Load() {
    auto icu = std::make_unique<TIcu>();
    // Kept mapped once closed: ICU holds its caches from its own globals,
    // and would leave them unreachable, and leaked, if unloaded.
    icu->FHandle.reset(
        dlopen("libicuuc.so." U_ICU_VERSION_SHORT, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!icu->FHandle || !icu->Find(icu->FromUtf8, KORVALEN_ICU_SYMBOL(u_strFromUTF8)) ||
        !icu->Find(icu->FoldCase, KORVALEN_ICU_SYMBOL(u_strFoldCase)) ||
        !icu->Find(icu->NfdInstance, KORVALEN_ICU_SYMBOL(unorm2_getNFDInstance)) ||
        !icu->Find(icu->Normalize, KORVALEN_ICU_SYMBOL(unorm2_normalize))) {
      return nullptr;
    }
    return icu;
  }

  template <typename Function>
  bool Find(Function& function, const char* name) const {
    function = reinterpret_cast<Function>(dlsym(FHandle.get(), name));
    return function != nullptr;
  }

  std::unique_ptr<void, TDlClose> FHandle;
};

#undef KORVALEN_ICU_SYMBOL
#undef KORVALEN_ICU_SYMBOL_TEXT

// Runs an ICU function that writes UTF-16 into a buffer of the capacity given,
// once more with the length it asks for should that be short; false if it fails.
template <typename Write>
bool WriteUtf16(std::u16string& out, std::size_t guess, Write write) {
  out.resize(guess);
  UErrorCode status = U_ZERO_ERROR;
  std::int32_t length = write(out.data(), static_cast<std::int32_t>(out.size()), status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<std::size_t>(length));
    status = U_ZERO_ERROR;
    length = write(out.data(), length, status);
  }
  if (U_FAILURE(status)) {
    return false;
  }
  out.resize(static_cast<std::size_t>(length));
  return true;
}

// The canonical decomposition; the text unchanged should ICU's data be
// missing, which leaves both sides of a comparison treated alike.
std::u16string Decomposed(const TIcu& icu, std::u16string text) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfd = icu.NfdInstance(&status);
  if (U_FAILURE(status)) {
    return text;
  }
  std::u16string result;
  const bool done =
      WriteUtf16(result, text.size(), [&](char16_t* out, std::int32_t capacity, UErrorCode& error) {
        return icu.Normalize(nfd, text.data(), static_cast<std::int32_t>(text.size()), out,
                             capacity, &error);
      });
  return done ? result : text;
}

// NFD, full default case folding, NFD again: the canonical caseless form.
// False should ICU fail to read the text or to fold it.
bool CaselessKey(const TIcu& icu, std::string_view text, std::u16string& key) {
  std::u16string utf16;
  // UTF-8 never takes fewer code units than UTF-16.
  if (!WriteUtf16(utf16, text.size(), [&](char16_t* out, std::int32_t capacity, UErrorCode& error) {
        std::int32_t length = 0;
        icu.FromUtf8(out, capacity, &length, text.data(), static_cast<std::int32_t>(text.size()),
                     &error);
        return length;
      })) {
    return false;
  }
  const std::u16string decomposed = Decomposed(icu, std::move(utf16));
  std::u16string folded;
  if (!WriteUtf16(folded, decomposed.size(),
                  [&](char16_t* out, std::int32_t capacity, UErrorCode& error) {
                    return icu.FoldCase(out, capacity, decomposed.data(),
                                        static_cast<std::int32_t>(decomposed.size()),
                                        U_FOLD_CASE_DEFAULT, &error);
                  })) {
    return false;
  }
  key = Decomposed(icu, std::move(folded));
  return true;
}

}  // namespace

bool DescriptionsMatch(std::string_view a, std::string_view b) {
  const bool asciiA = IsAscii(a);
  const bool asciiB = IsAscii(b);
  if (asciiA && asciiB) {
    // Default case folding changes no ASCII character but A to Z.
    return AsciiCaselessEqual(a, b);
  }
  // Texts beyond ICU's 32-bit lengths are compared bytewise too.
  constexpr std::size_t MaxIcuLength = 0x7FFFFFFF;
  if (a.size() > MaxIcuLength || b.size() > MaxIcuLength || (!asciiA && !IsValidUtf8(a)) ||
      (!asciiB && !IsValidUtf8(b))) {
    return AsciiCaselessEqual(a, b);
  }
  const TIcu* icu = TIcu::Get();
  std::u16string keyA;
  std::u16string keyB;
  if (icu == nullptr || !CaselessKey(*icu, a, keyA) || !CaselessKey(*icu, b, keyB)) {
    return AsciiCaselessEqual(a, b);
  }
  return keyA == keyB;
}

}  // namespace korvalen
