#pragma once

#include <sys/capability.h>

#include <memory>
#include <type_traits>

// CAP_NET_RAW in effect for as long as one of these lives, and at no other moment. The
// package installs the programs with the capability permitted but not in effect, as iputils
// ping is: the program raises it only to open a raw ICMP socket, and lowers it again at once.
class RawSocketPrivilege final
{
public:
    // Called once at start: nothing stays in effect, of the permitted capabilities only
    // CAP_NET_RAW is kept, and nothing is handed on to the programs this one starts. A
    // process of root is left as it is: its capabilities are what make it root.
    static void restrictProcess();

    // Raises CAP_NET_RAW where it is permitted and not yet in effect.
    RawSocketPrivilege();
    // Lowers it again if it was raised here.
    ~RawSocketPrivilege();

    RawSocketPrivilege(const RawSocketPrivilege&) = delete;
    RawSocketPrivilege& operator=(const RawSocketPrivilege&) = delete;

private:
    struct CapFree
    {
        void operator()(cap_t state) const { cap_free(state); }
    };
    using CapState = std::unique_ptr<std::remove_pointer_t<cap_t>, CapFree>;

    CapState m_raised; // the process's state with the capability raised; empty when it was not
};
