// A test program that crashes asks gdb for every thread's stack before it dies as it would have: a
// crash seen once in hundreds of runs, on a machine that is gone afterwards, is otherwise no more
// than the signal's name in the log. Nothing under AddressSanitizer, which reports crashes itself.
#pragma once

void printStacksOnCrash();
