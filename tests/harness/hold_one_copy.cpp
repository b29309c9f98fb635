// hold_one_copy NAME: claims NAME the way korvel-update claims its own, prints what the claim
// found ("claimed", "taken" or "unavailable") and holds it until its standard input ends.
// The one-copy tests start it as the other process.
#include <cstdio>

#include "one_copy.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const korvel::CopyClaim claim = korvel::claim_one_copy(argv[1]);
    std::puts(claim == korvel::CopyClaim::claimed ? "claimed"
              : claim == korvel::CopyClaim::taken ? "taken"
                                                  : "unavailable");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
