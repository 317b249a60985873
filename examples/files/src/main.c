int main(void)
{
    printf("hello");
    return 0;
}
