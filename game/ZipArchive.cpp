#include "ZipArchive.h"

#include "ByteSource.h"
#include "FileError.h"
#include "HostPath.h"
#include "Text.h"
#include "ZipLibrary.h"

#include <algorithm>
#include <zip.h>

namespace qm {

namespace {

constexpr std::uint16_t kStored = ZIP_CM_STORE;
constexpr std::uint16_t kDeflated = ZIP_CM_DEFLATE;
// Inflated members grow by this much at a time, so a member that lies about a large size costs only the
// bytes it really holds.
constexpr std::size_t kInflateStep = std::size_t{1} << 16;

std::string errorText(int code) {
    zip_error_t error;
    zipLibrary().errorInitWithCode(&error, code);
    std::string text = zipLibrary().errorStrerror(&error);
    zipLibrary().errorFini(&error);
    return text;
}

} // namespace

// The open zip and, for a zip in memory, the bytes libzip reads; members' sources share it.
struct ZipArchive::Shared {
    std::string name;
    std::string bytes;
    zip_t* zip = nullptr;
    ~Shared() {
        if (zip != nullptr)
            zipLibrary().discard(zip);
    }
};

namespace {

// A stored member read in place: each read seeks within the member's data, so any offset is direct.
class StoredMemberSource : public ByteSource {
public:
    StoredMemberSource(std::shared_ptr<const void> keepAlive, zip_file_t* file, std::int64_t length,
                       std::string name)
        : m_keepAlive(std::move(keepAlive)), m_file(file), m_length(length), m_name(std::move(name)) {}
    ~StoredMemberSource() override { zipLibrary().fclose(m_file); }
    StoredMemberSource(const StoredMemberSource&) = delete;
    StoredMemberSource& operator=(const StoredMemberSource&) = delete;

    std::int64_t length() const override { return m_length; }
    std::string name() const override { return m_name; }
    std::size_t readAt(std::int64_t offset, std::span<std::byte> out) override {
        if (offset < 0 || offset >= m_length || out.empty())
            return 0;
        if (offset != m_position) {
            if (zipLibrary().fseek(m_file, offset, SEEK_SET) != 0)
                fail();
            m_position = offset;
        }
        const std::size_t want =
            std::min<std::size_t>(out.size(), static_cast<std::size_t>(m_length - offset));
        std::size_t got = 0;
        while (got < want) {
            const zip_int64_t n = zipLibrary().fread(m_file, out.data() + got, want - got);
            if (n < 0) {
                m_position = -1;
                fail();
            }
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        m_position += static_cast<std::int64_t>(got);
        return got;
    }

private:
    [[noreturn]] void fail() const {
        throw FileError(PathFileAccessError,
                        std::string("damaged zip member: ") + zipLibrary().fileStrerror(m_file), m_name);
    }

    std::shared_ptr<const void> m_keepAlive;
    zip_file_t* m_file;
    std::int64_t m_length;
    std::int64_t m_position = 0;
    std::string m_name;
};

} // namespace

ZipArchive::ZipArchive(const std::filesystem::path& hostPath, std::uint64_t inflateLimit)
    : m_shared(std::make_shared<Shared>()), m_inflateLimit(inflateLimit) {
    m_shared->name = displayPath(hostPath);
    int code = 0;
    // libzip takes UTF-8 paths on every host.
    const std::u8string utf8 = hostPath.u8string();
    m_shared->zip = zipLibrary().open(std::string(utf8.begin(), utf8.end()).c_str(), ZIP_RDONLY, &code);
    if (m_shared->zip == nullptr) {
        if (code == ZIP_ER_NOENT || code == ZIP_ER_OPEN)
            throw FileError(FileNotFound, m_shared->name);
        throw FileError(PathFileAccessError, "not a readable zip: " + errorText(code), m_shared->name);
    }
    readMembers();
}

ZipArchive::ZipArchive(std::string bytes, std::string name, std::uint64_t inflateLimit)
    : m_shared(std::make_shared<Shared>()), m_inflateLimit(inflateLimit) {
    m_shared->name = std::move(name);
    m_shared->bytes = std::move(bytes);
    zip_error_t error;
    zipLibrary().errorInit(&error);
    zip_source_t* source =
        zipLibrary().sourceBufferCreate(m_shared->bytes.data(), m_shared->bytes.size(), 0, &error);
    if (source != nullptr) {
        m_shared->zip = zipLibrary().openFromSource(source, ZIP_RDONLY, &error);
        if (m_shared->zip == nullptr)
            zipLibrary().sourceFree(source);
    }
    if (m_shared->zip == nullptr) {
        const std::string text = zipLibrary().errorStrerror(&error);
        zipLibrary().errorFini(&error);
        throw FileError(PathFileAccessError, "not a readable zip: " + text, m_shared->name);
    }
    zipLibrary().errorFini(&error);
    readMembers();
}

ZipArchive::~ZipArchive() = default;

void ZipArchive::readMembers() {
    const zip_int64_t count = zipLibrary().getNumEntries(m_shared->zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zipLibrary().statInit(&stat);
        Member member;
        if (zipLibrary().statIndex(m_shared->zip, static_cast<zip_uint64_t>(i), 0, &stat) == 0) {
            if ((stat.valid & ZIP_STAT_NAME) != 0 && stat.name != nullptr)
                member.name = stat.name;
            member.size = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
            member.compressedSize = (stat.valid & ZIP_STAT_COMP_SIZE) != 0 ? stat.comp_size : 0;
            member.method = (stat.valid & ZIP_STAT_COMP_METHOD) != 0 ? stat.comp_method : 0;
            member.encrypted =
                (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE;
        }
        m_members.push_back(std::move(member));
    }
}

const std::string& ZipArchive::name() const {
    return m_shared->name;
}

const std::vector<ZipArchive::Member>& ZipArchive::members() const {
    return m_members;
}

std::optional<std::size_t> ZipArchive::find(std::string_view memberName) const {
    const auto normal = [](std::string_view text) {
        std::string folded = asciiUpper(text);
        std::replace(folded.begin(), folded.end(), '\\', '/');
        return folded;
    };
    const std::string wanted = normal(memberName);
    for (std::size_t i = 0; i < m_members.size(); ++i)
        if (normal(m_members[i].name) == wanted)
            return i;
    return std::nullopt;
}

std::unique_ptr<ByteSource> ZipArchive::open(std::size_t index) const {
    const Member& member = m_members.at(index);
    const std::string name = m_shared->name + "/" + member.name;
    const auto fail = [&name](const std::string& why) { return FileError(PathFileAccessError, why, name); };
    if (member.encrypted)
        throw fail("an encrypted zip member");
    if (member.method == kStored) {
        if (member.compressedSize != member.size)
            throw fail("a stored zip member whose sizes differ");
        if (member.size > static_cast<std::uint64_t>(INT64_MAX))
            throw fail("a zip member too large to read");
        // The raw data of a stored member are its bytes, read through a window that can seek.
        zip_file_t* file = zipLibrary().fopenIndex(m_shared->zip, index, ZIP_FL_COMPRESSED);
        if (file == nullptr)
            throw fail(std::string("damaged zip member: ") + zipLibrary().strerror(m_shared->zip));
        return std::make_unique<StoredMemberSource>(m_shared, file, static_cast<std::int64_t>(member.size),
                                                    name);
    }
    if (member.method != kDeflated)
        throw fail("a zip member compressed by method " + std::to_string(member.method));
    if (member.size > m_inflateLimit)
        throw fail("a deflated zip member larger than " + std::to_string(m_inflateLimit) + " bytes");
    zip_file_t* file = zipLibrary().fopenIndex(m_shared->zip, index, 0);
    if (file == nullptr)
        throw fail(std::string("damaged zip member: ") + zipLibrary().strerror(m_shared->zip));
    std::string bytes;
    // One byte past the declared size tells a member that holds more than it declares.
    const std::uint64_t wanted = member.size + 1;
    while (bytes.size() < wanted) {
        const std::size_t from = bytes.size();
        bytes.resize(from + static_cast<std::size_t>(std::min<std::uint64_t>(kInflateStep, wanted - from)));
        const zip_int64_t n = zipLibrary().fread(file, bytes.data() + from, bytes.size() - from);
        if (n < 0) {
            const std::string why = std::string("damaged zip member: ") + zipLibrary().fileStrerror(file);
            zipLibrary().fclose(file);
            throw fail(why);
        }
        bytes.resize(from + static_cast<std::size_t>(n));
        if (n == 0)
            break;
    }
    zipLibrary().fclose(file);
    if (bytes.size() != member.size)
        throw fail("a zip member that inflates to " + std::to_string(bytes.size()) + " bytes, not the " +
                   std::to_string(member.size) + " it declares");
    return std::make_unique<MemorySource>(std::move(bytes), name);
}

} // namespace qm
