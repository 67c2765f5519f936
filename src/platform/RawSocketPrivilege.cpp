#include "RawSocketPrivilege.h"

#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace {

constexpr cap_value_t NetRaw = CAP_NET_RAW;

bool HasFlag(cap_t state, cap_flag_t set)
{
    cap_flag_value_t value = CAP_CLEAR;
    return cap_get_flag(state, NetRaw, set, &value) == 0 && value == CAP_SET;
}

} // namespace

void RawSocketPrivilege::restrictProcess()
{
    if (geteuid() == 0)
        return;
    const CapState current(cap_get_proc());
    const CapState wanted(cap_init()); // every set empty: the inheritable one, and so the ambient one too
    if (!current || !wanted)
        return;
    if (HasFlag(current.get(), CAP_PERMITTED))
        cap_set_flag(wanted.get(), CAP_PERMITTED, 1, &NetRaw, CAP_SET);
    cap_set_proc(wanted.get());
}

RawSocketPrivilege::RawSocketPrivilege()
{
    CapState state(cap_get_proc());
    if (!state || !HasFlag(state.get(), CAP_PERMITTED) || HasFlag(state.get(), CAP_EFFECTIVE))
        return;
    if (cap_set_flag(state.get(), CAP_EFFECTIVE, 1, &NetRaw, CAP_SET) == 0 && cap_set_proc(state.get()) == 0)
        m_raised = std::move(state);
}

RawSocketPrivilege::~RawSocketPrivilege()
{
    if (!m_raised)
        return;
    // Lowering a capability is never refused; a process that could not would hold it for good.
    if (cap_set_flag(m_raised.get(), CAP_EFFECTIVE, 1, &NetRaw, CAP_CLEAR) != 0 || cap_set_proc(m_raised.get()) != 0)
        std::abort();
}
