// hold_one_copy NAME: claims NAME as korvel-update claims its own, prints what the claim found
// and holds it until its standard input ends: the other process of the one-copy tests.
#include <cstdio>

#include "one_copy.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const korvel::CopyClaim claim = korvel::claim_one_copy(argv[1]);
    std::puts(claim == korvel::CopyClaim::claimed ? "claimed" : "not claimed");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
}
