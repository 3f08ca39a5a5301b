#include "ZipLibrary.h"

#include "FileError.h"

#ifdef QUILLMERE_LIBZIP_SONAME
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <optional>
#include <string>
#endif

namespace qm {

#ifdef QUILLMERE_LIBZIP_SONAME

namespace {

// A function of the library by its name, as the pointer type of the declaration in zip.h.
template <typename Function>
void bind(void* library, const char* name, Function& function, std::string& missing) {
    void* found = dlsym(library, name);
    if (found == nullptr) {
        missing += missing.empty() ? name : std::string(", ") + name;
        return;
    }
    // An object pointer to a function pointer: copied, as no cast between the two passes the warnings.
    static_assert(sizeof found == sizeof function);
    std::memcpy(&function, &found, sizeof function);
}

ZipLibrary load() {
    void* library = dlopen(QUILLMERE_LIBZIP_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        throw FileError(PathFileAccessError,
                        std::string("zip files cannot be read: ") +
                            (why != nullptr ? why : "libzip is missing"),
                        QUILLMERE_LIBZIP_SONAME);
    }
    ZipLibrary zip{};
    std::string missing;
    bind(library, "zip_open", zip.open, missing);
    bind(library, "zip_open_from_source", zip.openFromSource, missing);
    bind(library, "zip_discard", zip.discard, missing);
    bind(library, "zip_source_buffer_create", zip.sourceBufferCreate, missing);
    bind(library, "zip_source_free", zip.sourceFree, missing);
    bind(library, "zip_get_num_entries", zip.getNumEntries, missing);
    bind(library, "zip_stat_init", zip.statInit, missing);
    bind(library, "zip_stat_index", zip.statIndex, missing);
    bind(library, "zip_fopen_index", zip.fopenIndex, missing);
    bind(library, "zip_fread", zip.fread, missing);
    bind(library, "zip_fseek", zip.fseek, missing);
    bind(library, "zip_fclose", zip.fclose, missing);
    bind(library, "zip_strerror", zip.strerror, missing);
    bind(library, "zip_file_strerror", zip.fileStrerror, missing);
    bind(library, "zip_error_init", zip.errorInit, missing);
    bind(library, "zip_error_init_with_code", zip.errorInitWithCode, missing);
    bind(library, "zip_error_strerror", zip.errorStrerror, missing);
    bind(library, "zip_error_fini", zip.errorFini, missing);
    if (!missing.empty()) {
        dlclose(library);
        throw FileError(PathFileAccessError, "zip files cannot be read: this libzip lacks " + missing,
                        QUILLMERE_LIBZIP_SONAME);
    }
    // Kept loaded to the end of the process.
    return zip;
}

} // namespace

const ZipLibrary& zipLibrary() {
    // Every read of a zip member asks: once loaded, the table is handed out without the lock.
    static std::atomic<const ZipLibrary*> ready{nullptr};
    if (const ZipLibrary* library = ready.load(std::memory_order_acquire))
        return *library;
    // A failure is asked again next time, as the library may have been installed meanwhile.
    static std::mutex mutex;
    static std::optional<ZipLibrary> loaded;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!loaded)
        loaded = load();
    ready.store(&*loaded, std::memory_order_release);
    return *loaded;
}

#else

const ZipLibrary& zipLibrary() {
    static const ZipLibrary linked{&::zip_open,           &::zip_open_from_source,
                                   &::zip_discard,        &::zip_source_buffer_create,
                                   &::zip_source_free,    &::zip_get_num_entries,
                                   &::zip_stat_init,      &::zip_stat_index,
                                   &::zip_fopen_index,    &::zip_fread,
                                   &::zip_fseek,          &::zip_fclose,
                                   &::zip_strerror,       &::zip_file_strerror,
                                   &::zip_error_init,     &::zip_error_init_with_code,
                                   &::zip_error_strerror, &::zip_error_fini};
    return linked;
}

#endif

} // namespace qm
