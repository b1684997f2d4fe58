int a;
int b; /* crlf */
char c = 1;int lone_cr;

last
