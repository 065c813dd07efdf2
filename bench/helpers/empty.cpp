// Benchmark helper: a GUI program that does nothing, for what starting and
// ending any process costs.
int main() { return 0; }
