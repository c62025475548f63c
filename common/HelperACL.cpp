// ACL probes of the helper through libacl: state, fingerprint and clearing.
#include "common/HelperACL.h"

#include <cerrno>
#include <string>
#include <vector>

#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/stat.h>

#include "common/HelperSystemCalls.h"
#include "platform/HostFiles.h"

namespace veldo::common {

namespace {

// Errors that mean "this object or file system has no ACLs".
bool meansNoACL(int err)
{
    return err == ENOENT || err == EOPNOTSUPP || err == EINVAL || err == ENODATA;
}

// Owns one acl_t.
class AclHandle
{
public:
    explicit AclHandle(acl_t acl) : m_acl(acl) {}
    ~AclHandle()
    {
        if (m_acl)
            ::acl_free(m_acl);
    }
    AclHandle(const AclHandle&) = delete;
    AclHandle& operator=(const AclHandle&) = delete;
    acl_t get() const { return m_acl; }
    explicit operator bool() const { return m_acl != nullptr; }

private:
    acl_t m_acl;
};

// The access ACL of the object; an O_PATH descriptor is read through its /proc name.
AclHandle accessACL(int fd)
{
    if (detail::isPathOnly(fd))
        return AclHandle(
            ::acl_get_file(platform::descriptorName(fd).string().c_str(), ACL_TYPE_ACCESS));
    return AclHandle(::acl_get_fd(fd));
}

constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

// Folds the ACL's external form into `hash` (64-bit FNV-1a); false when it cannot be copied.
bool hashExternalForm(acl_t acl, std::uint64_t& hash)
{
    const ssize_t size = ::acl_size(acl);
    if (size <= 0)
        return false;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size), 0);
    // libacl answers 0 for success where the draft standard answers the size copied.
    const ssize_t copied = ::acl_copy_ext(buffer.data(), acl, size);
    if (copied < 0 || copied > size)
        return false;
    const std::size_t length = static_cast<std::size_t>(copied > 0 ? copied : size);
    for (std::size_t i = 0; i < length; ++i) {
        hash ^= buffer[i];
        hash *= kFnvPrime;
    }
    return true;
}

unsigned permissionBits(acl_entry_t entry)
{
    acl_permset_t permset = nullptr;
    if (::acl_get_permset(entry, &permset) != 0)
        return 0;
    unsigned bits = 0;
    if (::acl_get_perm(permset, ACL_READ) == 1)
        bits |= 4;
    if (::acl_get_perm(permset, ACL_WRITE) == 1)
        bits |= 2;
    if (::acl_get_perm(permset, ACL_EXECUTE) == 1)
        bits |= 1;
    return bits;
}

// The permission bits that the access ACL effectively grants the owner, the owning group
// (group entry limited by the mask) and others; none when it cannot be read.
std::optional<mode_t> effectiveBaseMode(acl_t acl)
{
    unsigned user = 0, group = 0, other = 0, mask = 7;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; ::acl_get_entry(acl, which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        if (::acl_get_tag_type(entry, &tag) != 0)
            return std::nullopt;
        switch (tag) {
        case ACL_USER_OBJ:
            user = permissionBits(entry);
            break;
        case ACL_GROUP_OBJ:
            group = permissionBits(entry);
            break;
        case ACL_OTHER:
            other = permissionBits(entry);
            break;
        case ACL_MASK:
            mask = permissionBits(entry);
            break;
        default:
            break;
        }
    }
    return static_cast<mode_t>((user << 6) | ((group & mask) << 3) | other);
}

} // namespace

std::optional<bool> extendedACLState(int fd)
{
    errno = 0;
    const int rc = detail::isPathOnly(fd)
                       ? ::acl_extended_file(platform::descriptorName(fd).string().c_str())
                       : ::acl_extended_fd(fd);
    if (rc < 0) {
        if (meansNoACL(errno))
            return false;
        return std::nullopt;
    }
    return rc == 1;
}

std::optional<std::uint64_t> aclDigest(int fd)
{
    const auto state = extendedACLState(fd);
    if (!state)
        return std::nullopt;
    if (!*state)
        return 0;

    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;

    std::uint64_t hash = kFnvOffset;
    {
        const AclHandle access = accessACL(fd);
        if (!access)
            return meansNoACL(errno) ? std::optional<std::uint64_t>(0) : std::nullopt;
        if (!hashExternalForm(access.get(), hash))
            return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        const AclHandle defaults(
            ::acl_get_file(platform::descriptorName(fd).string().c_str(), ACL_TYPE_DEFAULT));
        if (!defaults) {
            if (!meansNoACL(errno))
                return std::nullopt;
        } else if (::acl_entries(defaults.get()) > 0 && !hashExternalForm(defaults.get(), hash)) {
            return std::nullopt;
        }
    }
    return hash == 0 ? 1 : hash;
}

Result<void> installEmptyACL(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return Error::fromErrno(errno);
    const std::string procPath = platform::descriptorName(fd).string();
    const bool pathOnly = detail::isPathOnly(fd);

    // The mode's group bits show the mask when named entries exist; rebuilding from them could
    // grant the owning group what only named entries had. Keep what it effectively had.
    mode_t base = st.st_mode & 0777;
    {
        const AclHandle current = accessACL(fd);
        if (current) {
            if (const auto effective = effectiveBaseMode(current.get()))
                base = *effective;
        }
    }
    // Both steps are tried; the first failure is answered.
    int failure = 0;
    {
        const AclHandle fresh(::acl_from_mode(base));
        if (!fresh)
            return Error::fromErrno(errno);
        const int rc = pathOnly ? ::acl_set_file(procPath.c_str(), ACL_TYPE_ACCESS, fresh.get())
                                : ::acl_set_fd(fd, fresh.get());
        if (rc != 0 && errno != EOPNOTSUPP)
            failure = errno;
    }
    if (S_ISDIR(st.st_mode) && ::acl_delete_def_file(procPath.c_str()) != 0 && !meansNoACL(errno) &&
        failure == 0)
        failure = errno;
    if (failure != 0)
        return Error::fromErrno(failure);
    return {};
}

} // namespace veldo::common
