/* a block comment
   over three lines, with "quotes" and // inside
 */
int x; /*/ opened and closed at once */ int y;
int z; /* closed */ //followed by a line comment
a/*b*/c
/* a *//b
foo// x
