// Link-time optimisation gives a function that had no exception regions of
// its own, and gains some by inlining (destructors to run as an exception
// passes), the C language's personality routine, __gcc_personality_v0
// (libgcc's unwind-c.o, 1.5 KiB). The C++ routine, which the installer
// links in any case, treats such a function the same way: its table holds
// cleanups only, which both routines run as the exception passes, and
// neither finds a handler in it. So the C routine is the C++ one here.
#include <unwind.h>

extern "C" _Unwind_Reason_Code __gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class, _Unwind_Exception*,
                                                    _Unwind_Context*);

extern "C" _Unwind_Reason_Code __gcc_personality_v0(int version, _Unwind_Action actions,
                                                    _Unwind_Exception_Class exceptionClass,
                                                    _Unwind_Exception* exception, _Unwind_Context* context) {
    return __gxx_personality_v0(version, actions, exceptionClass, exception, context);
}
