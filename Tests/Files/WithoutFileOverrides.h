#pragma once
// Tests run as root in CI containers, where file modes deny nothing. For the life of this guard the calling
// thread gives up the capabilities that bypass them (its effective set only), so a mode-000 file or
// directory is as unreadable to it as to any user; they come back afterwards.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class WithoutFileOverrides {
public:
    WithoutFileOverrides() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~WithoutFileOverrides() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutFileOverrides(const WithoutFileOverrides&) = delete;
    WithoutFileOverrides& operator=(const WithoutFileOverrides&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};
