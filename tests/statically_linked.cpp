// A program linked statically: nothing can be loaded under it (the region tool's refusal).
int main() { return 0; }
