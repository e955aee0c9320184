// kpx-bench: KPX Tool's performance figures against the simulated bus.

#include "Bench.h"
#include "ColdStart.h"
#include "ReferenceSleeper.h"
#include "ToolSession.h"

#include <cstring>

int main(int argc, char* argv[]) {
    // The bench starts itself again in these roles; the first argument says which.
    const char* role = argc > 1 ? argv[1] : "";
    if (std::strcmp(role, SessionPlan::Mode) == 0)
        return runToolSession(argc, argv);
    if (std::strcmp(role, ColdStart::Mode) == 0)
        return ColdStart::runChild(argc, argv);
    if (std::strcmp(role, ReferenceSleeper::Mode) == 0)
        return ReferenceSleeper::runChild();
    return runBench(argc, argv);
}
