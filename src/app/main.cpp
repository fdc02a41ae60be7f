// PLACEHOLDER: the entry point is being written.
int main() { return 0; }
