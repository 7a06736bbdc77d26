// The floor: what any dynamically linked program of this build pays to
// start and end.
int main()
{
    return 0;
}
