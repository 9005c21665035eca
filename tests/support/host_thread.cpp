#include "host_thread.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace support {

#if defined(_WIN32)

bool RunOnHostThread(const std::function<void()>& work, size_t stackBytes, void* stack) {
    if (stack) return false;
    auto entry = [](LPVOID argument) -> DWORD {
        (*static_cast<const std::function<void()>*>(argument))();
        return 0;
    };
    // The size is the reserve, as a host's is; without the flag it would be the first commit.
    HANDLE thread =
        CreateThread(nullptr, stackBytes, entry, const_cast<std::function<void()>*>(&work),
                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return false;
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code == 0;
}

#else

bool RunOnHostThread(const std::function<void()>& work, size_t stackBytes, void* stack) {
    auto entry = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stack)
        pthread_attr_setstack(&attributes, stack, stackBytes);
    else
        pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    bool started =
        pthread_create(&thread, &attributes, entry, const_cast<std::function<void()>*>(&work)) == 0;
    pthread_attr_destroy(&attributes);
    if (started) pthread_join(thread, nullptr);
    return started;
}

#endif

} // namespace support
