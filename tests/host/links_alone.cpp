// Linked with the whole of one host library: the link fails on any symbol
// the library uses without naming where it comes from.
int main() { return 0; }
