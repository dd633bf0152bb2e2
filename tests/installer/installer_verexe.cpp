// A program that exists only for its version resource.
int main() { return 0; }
