// Placeholder until this benchmark is written.
int main() { return 0; }
