#ifndef OXLTEST_INHERITEDDESCRIPTOR_H
#define OXLTEST_INHERITEDDESCRIPTOR_H

// The null device open at a given descriptor number without close-on-exec while the object
// lives, as many clients leave descriptors open for the programs they start. POSIX only.
class InheritedDescriptor
{
public:
    explicit InheritedDescriptor(int number);
    ~InheritedDescriptor();
    InheritedDescriptor(const InheritedDescriptor &) = delete;
    InheritedDescriptor &operator=(const InheritedDescriptor &) = delete;

    bool isOpen() const { return m_number >= 0; }

private:
    int m_number = -1;
};

#endif
