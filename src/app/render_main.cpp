// Entry point of xmastrace_render (being written).
int main() { return 0; }
