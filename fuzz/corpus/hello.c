#include <stdio.h>

/* Prints a greeting and the number of its arguments. */
int main(int argc, char **argv)
{
    printf("hello, world: %d\n", argc); // no use of argv
    return 0;
}
