#pragma once

#include <zip.h>

namespace qm {

// The libzip functions that ZipArchive calls. On Linux the library is loaded the first time a zip is
// opened: linked, it and the crypto library it needs cost every run of the programs about 1.8 MB and a
// millisecond at start, zips or not. Windows links it.
struct ZipLibrary {
    decltype(&::zip_open) open;
    decltype(&::zip_open_from_source) openFromSource;
    decltype(&::zip_discard) discard;
    decltype(&::zip_source_buffer_create) sourceBufferCreate;
    decltype(&::zip_source_free) sourceFree;
    decltype(&::zip_get_num_entries) getNumEntries;
    decltype(&::zip_stat_init) statInit;
    decltype(&::zip_stat_index) statIndex;
    decltype(&::zip_fopen_index) fopenIndex;
    decltype(&::zip_fread) fread;
    decltype(&::zip_fseek) fseek;
    decltype(&::zip_fclose) fclose;
    decltype(&::zip_strerror) strerror;
    decltype(&::zip_file_strerror) fileStrerror;
    decltype(&::zip_error_init) errorInit;
    decltype(&::zip_error_init_with_code) errorInitWithCode;
    decltype(&::zip_error_strerror) errorStrerror;
    decltype(&::zip_error_fini) errorFini;
};

// The library, loaded once per process; throws FileError (naming the library and why) when it cannot be.
const ZipLibrary& zipLibrary();

} // namespace qm
