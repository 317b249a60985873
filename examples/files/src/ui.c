#include <stdio.h>

/* Old Name Ltd: button colours */
void show_colour(const char *name)
{
    printf("colour: %s\n", name);
    // TODO: pick the COLOUR from the theme
}
