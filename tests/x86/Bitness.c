/* Prints how many bits a pointer has: "32" when Wine runs this build's
 * 32-bit programs at all. */
#include <stdio.h>

int main(void) {
    printf("%u\n", (unsigned)(sizeof(void*) * 8));
    return 0;
}
