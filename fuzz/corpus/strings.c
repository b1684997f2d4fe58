char *s = "a string with words";
char *t = "/"; int after_slash_quote;
printf("a\"b") c
"leading quote line" z
"h
x = "abc" y
s = "a//b" c
