// The trivial program that the recovery baseline runs through the command interpreter.
int main() {
    return 0;
}
