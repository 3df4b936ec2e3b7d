/* Returns 0 when Wine can start a program of the build's width. */
int main(void)
{
    return 0;
}
