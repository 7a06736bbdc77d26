// The floor: what any program of this build, linked as hostname is, pays to
// start and end.
int main()
{
    return 0;
}
