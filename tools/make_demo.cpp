// Placeholder until the demo generator lands.
int main() { return 0; }
